// Tests of the browser script root-template/web/scripts.js, run by Node's test runner:
//     node scripts_test.js <source-dir>
// The script runs in a sandbox with a small stand-in for the browser's window, documents,
// forms and cells. URLs it builds are read back the way the server reads a query: split at
// "&" and "=", then each name and value percent-decoded to bytes, "+" left as it is.
"use strict";

const test = require("node:test");
const assert = require("node:assert");
const fs = require("node:fs");
const path = require("node:path");
const vm = require("node:vm");

const source = process.argv[2] || path.join(__dirname, "..", "..");
const scriptText = fs.readFileSync(path.join(source, "root-template", "web", "scripts.js"), "utf8");

// ---------- A small browser ----------

class ClassList {
  constructor() { this.names = new Set(); }
  add(n) { this.names.add(n); }
  remove(n) { this.names.delete(n); }
  contains(n) { return this.names.has(n); }
}

function makeLocation() {
  return { href: "", replace(url) { this.href = url; this.replaced = true; } };
}

function makeWindow(name) {
  const win = { name, location: makeLocation(), opened: [] };
  win.open = (...args) => { win.opened.push(args); return { focus() {} }; };
  win.parent = win;
  win.top = win;
  win.screen = { availWidth: 1000, availHeight: 800 };
  return win;
}

// An element the script makes. A form's submit records what a browser would post (method,
// action and the fields in order) on the document's window and loads the action there.
function makeElement(doc, tag) {
  const attributes = {};
  const element = {
    tagName: tag.toUpperCase(), style: {}, children: [], value: "",
    setAttribute(n, v) { attributes[n] = String(v); },
    getAttribute(n) { return n in attributes ? attributes[n] : null; },
    appendChild(child) { this.children.push(child); },
    submit() {
      const win = doc.defaultView;
      win.posted = { method: attributes.method, action: attributes.action, shown: this.style.display,
        fields: this.children.map((c) => [c.getAttribute("name"), c.value, c.getAttribute("type")]) };
      win.location.href = attributes.action;
    },
  };
  return element;
}

function makeDocument(win, charset) {
  const doc = {
    characterSet: charset || "UTF-8",
    forms: {},
    byId: {},
    listeners: {},
    location: win.location,
    defaultView: win,
    getElementById(id) { return this.byId[id] || null; },
    addEventListener(type, fn) { this.listeners[type] = fn; },
    createElement(tag) { return makeElement(this, tag); },
  };
  doc.body = makeElement(doc, "body");
  win.document = doc;
  return doc;
}

function makeCell(doc, id) {
  const cell = { id: id || "", classList: new ClassList(), ownerDocument: doc, clicks: 0 };
  cell.click = () => { cell.clicks++; };
  if (id) doc.byId[id] = cell;
  return cell;
}

// fields: [name, value, type] in form order. As in a browser, a field hides the form's
// property of the same name (the image form's field "name" hides form.name).
function makeForm(doc, name, fields, attrs) {
  const elements = [];
  const attributes = Object.assign({ name, method: "get" }, attrs || {});
  const form = Object.assign({ elements, ownerDocument: doc }, attributes);
  form.getAttribute = (a) => (a in attributes ? attributes[a] : null);
  form.querySelector = (sel) => form.query ? form.query[sel] || null : null;
  for (const [fname, value, type] of fields) {
    const e = { name: fname, value, type: type || "text", form, ownerDocument: doc,
      disabled: false, checked: false };
    elements.push(e);
    elements[fname] = e;
    form[fname] = e;
  }
  doc.forms[name] = form;
  return form;
}

// One page in one frame, with its script loaded.
function page(charset) {
  const win = makeWindow("page");
  const doc = makeDocument(win, charset);
  const sandbox = { window: win, document: doc, console };
  vm.createContext(sandbox);
  vm.runInContext(scriptText, sandbox);
  return { win, doc, js: sandbox };
}

// ---------- The server's reading of a query ----------

function percentDecode(text) {
  const bytes = [];
  const raw = Buffer.from(text, "latin1");
  for (let i = 0; i < raw.length; i++) {
    if (raw[i] === 0x25 && i + 2 < raw.length && /^[0-9A-Fa-f]{2}$/.test(text.substr(i + 1, 2))) {
      bytes.push(parseInt(text.substr(i + 1, 2), 16));
      i += 2;
    } else {
      bytes.push(raw[i]);
    }
  }
  return Buffer.from(bytes);
}

// Parameters of a URL as name -> Buffer; the last occurrence wins.
function serverParams(url) {
  assert.match(url, /^[\x21-\x7e]*$/, "URL must be plain printable ASCII: " + url);
  const query = url.split("?")[1] || "";
  const params = new Map();
  for (const pair of query.split("&")) {
    const at = pair.indexOf("=");
    const name = at < 0 ? pair : pair.slice(0, at);
    const value = at < 0 ? "" : pair.slice(at + 1);
    params.set(percentDecode(name).toString("latin1"), percentDecode(value));
  }
  return params;
}

// What a form posted into a window: its fields as name -> value, after checking that it went
// as a hidden form's post to the button's URL.
function posted(win, url) {
  assert.ok(win.posted, "nothing was posted");
  assert.strictEqual(win.posted.method, "post");
  assert.strictEqual(win.posted.action, url);
  assert.strictEqual(win.posted.shown, "none");
  for (const [, , type] of win.posted.fields) assert.strictEqual(type, "hidden");
  return new Map(win.posted.fields.map(([n, v]) => [n, v]));
}

const TRICKY = [
  "plain",
  "",
  "a&b=c",
  "#not a fragment",
  "1+1 = 2",
  "100% sure",
  "it's \"quoted\"",
  "Gr\u00fc\u00dfe aus K\u00f6ln",
  "\u65e5\u672c\u8a9e",
  "smile \ud83d\ude00",
  "line one\nline two",
  "tab\there;semi/slash?q",
];

// ---------- Tests ----------

test("mouseClick loads into a document, a window, or this window without a target", () => {
  const { win, doc, js } = page();
  const cell = makeCell(doc);
  const other = makeWindow("other");
  js.mouseClick(cell, doc, "/?session=1&page=2");
  assert.strictEqual(win.location.href, "/?session=1&page=2");
  js.mouseClick(cell, other, "/?session=1&page=3");
  assert.strictEqual(other.location.href, "/?session=1&page=3");
  js.mouseClick(cell, undefined, "/?session=1&page=4");
  assert.strictEqual(win.location.href, "/?session=1&page=4");
});

test("mouseClick2 loads the page into the frame and the menu into the document", () => {
  const { win, doc, js } = page();
  const right = makeWindow("right");
  js.mouseClick2(makeCell(doc), right, "/?page=400", doc, "/?page=4&tab_main=400");
  assert.strictEqual(right.location.href, "/?page=400");
  assert.strictEqual(win.location.href, "/?page=4&tab_main=400");
  // The page is a step of the history; the menu, which follows it, is not.
  assert.ok(!right.location.replaced);
  assert.ok(win.location.replaced);
});

test("mouseOver highlights and mouseOut restores; an unused update button stays plain", () => {
  const { doc, js } = page();
  const cell = makeCell(doc);
  js.mouseOver(cell);
  assert.ok(cell.classList.contains("hover"));
  js.mouseOut(cell);
  assert.ok(!cell.classList.contains("hover"));

  const update = makeCell(doc, "updateButton");
  js.mouseOver(update);
  assert.ok(!update.classList.contains("hover"));
  js.activateUpdateButton();
  js.mouseOver(update);
  assert.ok(update.classList.contains("hover"));
  js.mouseOut(null);  // a page may pass nothing: no failure
});

test("updateImage sends the four attributes so that the server reads back what was typed", () => {
  for (const typed of TRICKY) {
    const { win, doc, js } = page();
    const button = makeCell(doc, "updateButton");
    makeForm(doc, "Image", [["imageDate", typed], ["name", typed],
      ["keywords", typed, "textarea"], ["description", typed, "textarea"]]);
    js.activateUpdateButton();
    js.updateImage(button, doc, "/?session=7&page=404&requestId=9&action=13&pagenum=1&Image.id=3");
    const params = serverParams(win.location.href);
    assert.strictEqual(params.get("action").toString(), "13");
    assert.strictEqual(params.get("Image.id").toString(), "3");
    for (const field of ["Image.imageDate", "Image.name", "Image.keywords", "Image.description"]) {
      assert.deepStrictEqual(params.get(field), Buffer.from(typed, "utf8"), field + " of " + JSON.stringify(typed));
    }
  }
});

test("a broken character is sent as a replacement character instead of failing", () => {
  const { win, doc, js } = page();
  const button = makeCell(doc, "updateButton");
  makeForm(doc, "Image", [["imageDate", "\ud800x"], ["name", "a\udc00\udc00"],
    ["keywords", "ok"], ["description", "\ud83d"]]);
  js.activateUpdateButton();
  js.updateImage(button, doc, "/?page=404");
  const params = serverParams(win.location.href);
  assert.strictEqual(params.get("Image.imageDate").toString("utf8"), "\ufffdx");
  assert.strictEqual(params.get("Image.name").toString("utf8"), "a\ufffd\ufffd");
  assert.strictEqual(params.get("Image.description").toString("utf8"), "\ufffd");
});

test("update functions send nothing before a change, or when the form is not as expected", () => {
  const cases = [
    ["image button not yet usable", (js, doc, b) => {
      makeForm(doc, "Image", [["imageDate", ""], ["name", ""], ["keywords", ""], ["description", ""]]);
      js.updateImage(b, doc, "/?page=404");
    }, false],
    ["account button not yet usable", (js, doc, b) => {
      makeForm(doc, "User", [["lastname", "a"], ["firstname", "b"], ["username", "c"],
        ["password1", "p"], ["password2", "p"], ["email", "d"]]);
      js.updateUser2(b, doc, "/?page=107&action=9");
    }, false],
    ["image form missing", (js, doc, b) => { js.activateUpdateButton(); js.updateImage(b, doc, "/?page=404"); }, true],
    ["image field missing", (js, doc, b) => {
      makeForm(doc, "Image", [["imageDate", ""], ["name", ""], ["keywords", ""]]);
      js.activateUpdateButton();
      js.updateImage(b, doc, "/?page=404");
    }, true],
    ["own account without password fields", (js, doc, b) => {
      makeForm(doc, "User", [["lastname", "a"], ["firstname", "b"], ["username", "c"], ["email", "d"]]);
      js.activateUpdateButton();
      js.updateUser2(b, doc, "/?page=107&action=9");
    }, true],
    ["folder form missing", (js, doc, b) => { js.activateUpdateButton(); js.updateFolder(b, doc, "/?page=901"); }, true],
  ];
  for (const [what, run] of cases) {
    const { win, doc, js } = page();
    const button = makeCell(doc, "updateButton");
    run(js, doc, button);
    assert.strictEqual(win.location.href, "", what);
  }
});

test("updateUser sends every field of the user form as User.<field>, hidden fields left out", () => {
  const { doc, js } = page();
  const parentWin = makeWindow("parent");
  makeDocument(parentWin);
  const button = makeCell(doc, "updateButton");
  const fields = [["session", "7&page=107&requestId=3&User.id=5", "hidden"],
    ["type", "1", "select-one"], ["lastname", "O'Brien & Sons"], ["firstname", "J\u00fcrgen"],
    ["username", "jo"], ["password1", "p=w#1+"], ["password2", "p=w#1+", "password"],
    ["email", "jo@example.org"], ["enabled", "1", "select-one"], ["imageUpload", "0", "select-one"],
    ["imageDownload", "1", "select-one"], ["imageAccept", "1", "select-one"],
    ["folderAccept", "0", "select-one"], ["folderAdmin", "0", "select-one"], ["imageLimit", "25"]];
  makeForm(doc, "User", fields);
  // The page's own key handler fails on a value with a quote; any edit must still count.
  const lastname = doc.forms.User.elements.lastname;
  doc.listeners.input({ target: lastname });
  const url = "/?session=7&page=301&requestId=4&action=8&User.id=5";
  js.updateUser(button, parentWin, url);
  // Posted, so that no password stands in the URL.
  const params = posted(parentWin, url);
  assert.deepStrictEqual([...params.keys()], ["User.type", "User.lastname", "User.firstname",
    "User.username", "User.password1", "User.password2", "User.email", "User.enabled",
    "User.imageUpload", "User.imageDownload", "User.imageAccept", "User.folderAccept",
    "User.folderAdmin", "User.imageLimit"]);
  assert.strictEqual(parentWin.location.href, url);
  assert.strictEqual(params.get("User.lastname"), "O'Brien & Sons");
  assert.strictEqual(params.get("User.firstname"), "J\u00fcrgen");
  assert.strictEqual(params.get("User.password1"), "p=w#1+");
  assert.strictEqual(params.get("User.imageLimit"), "25");
});

test("updateUser2 sends the own-account fields, the read-only user name included", () => {
  const { win, doc, js } = page();
  const button = makeCell(doc, "updateButton");
  makeForm(doc, "User", [["lastname", "Doe"], ["firstname", "Jane"], ["username", "jane"],
    ["password1", "secret"], ["password2", "secret", "password"], ["email", "j@d"]]);
  js.activateUpdateButton();
  const url = "/?session=7&page=107&requestId=4&action=9&User.id=5";
  js.updateUser2(button, doc, url);
  const params = posted(win, url);
  for (const [k, v] of [["User.lastname", "Doe"], ["User.firstname", "Jane"], ["User.username", "jane"],
    ["User.password1", "secret"], ["User.password2", "secret"], ["User.email", "j@d"]]) {
    assert.strictEqual(params.get(k), v, k);
  }
  // The hidden form stands in the document the answer replaces.
  assert.strictEqual(doc.body.children.length, 1);
});

test("updateFolder posts the form to the button's URL; the server lets the body's values win", () => {
  const { doc, js } = page();
  const parentWin = makeWindow("parent");
  const parentDoc = makeDocument(parentWin);
  const button = makeCell(doc, "updateButton");
  makeForm(doc, "Folder", [["session", "7&page=904&requestId=2&Folder.id=4&Folder.parent=0", "hidden"],
    ["enabled", "1", "select-one"], ["imageFolder", "0", "select-one"], ["name", "Summer & Sun"],
    ["parent", "3", "select-one"], ["ownerId", "0", "select-one"]]);
  js.activateUpdateButton();
  const url =
    "/?session=7&page=901&requestId=5&action=1&Folder.parent=0&Folder.imageFolder=0&Folder.name=New folder&Folder.id=4";
  js.updateFolder(button, parentWin, url);
  const params = posted(parentWin, url);
  assert.strictEqual(params.get("Folder.name"), "Summer & Sun");
  assert.strictEqual(params.get("Folder.parent"), "3");
  assert.strictEqual(params.get("Folder.enabled"), "1");
  assert.strictEqual(params.get("Folder.ownerId"), "0");
  assert.ok(!params.has("Folder.session"));
  // Made in the target window's document, which the answer replaces.
  assert.strictEqual(parentDoc.body.children.length, 1);
  assert.strictEqual(doc.body.children.length, 0);
});

test("login posts the form Login; search adds the typed words", () => {
  const { doc, js } = page();
  const submain = makeWindow("submain");
  const form = makeForm(doc, "Login", [["username", "m\u00fcller"], ["password", "a&b=c%d+e", "password"]],
    { method: "post" });
  let submitted = 0;
  form.submit = () => { submitted++; };
  js.login(makeCell(doc));
  assert.strictEqual(submitted, 1);
  assert.strictEqual(submain.location.href, "", "nothing goes into a URL");
  assert.strictEqual(js.window.location.href, "");

  const module = makeWindow("700");
  makeForm(doc, "Search", [["session", "7&page=700&action=18&requestId=3", "hidden"], ["words", "sea & sun"]]);
  js.search(makeCell(doc), module, "/?session=7&page=700&action=18&requestId=4");
  const params = serverParams(module.location.href);
  assert.strictEqual(params.get("Search.words").toString(), "sea & sun");
  assert.strictEqual(params.get("requestId").toString(), "4");
});

test("a page shown as windows-1252 gets its values in that character set", () => {
  const { doc, js } = page("windows-1252");
  const module = makeWindow("700");
  makeForm(doc, "Search", [["words", "Gr\u00fc\u00dfe \u20ac \u65e5"]]);
  js.search(makeCell(doc), module, "/?page=700");
  const params = serverParams(module.location.href);
  assert.deepStrictEqual(params.get("Search.words"),
    Buffer.concat([Buffer.from([0x47, 0x72, 0xfc, 0xdf, 0x65, 0x20, 0x80, 0x20]), Buffer.from("&#26085;")]));
});

test("a form whose hidden session field continues the query is sent by the script", () => {
  const { doc, js } = page();
  const parentWin = makeWindow("parent");
  js.window.parent = parentWin;
  const form = makeForm(doc, "Search",
    [["session", "7&page=700&action=18&requestId=3", "hidden"], ["words", "a&b c"]],
    { target: "_parent", action: "/" });
  let prevented = 0;
  doc.listeners.submit({ target: form, preventDefault() { prevented++; } });
  assert.strictEqual(prevented, 1);
  assert.strictEqual(parentWin.location.href, "/?session=7&page=700&action=18&requestId=3&words=a%26b%20c");

  // Other forms are left to the browser.
  const plain = makeForm(doc, "imageForm", [["Image.user", "5", "hidden"]], { method: "post" });
  doc.listeners.submit({ target: plain, preventDefault() { prevented++; } });
  const post = makeForm(doc, "Folder", [["session", "7&page=904", "hidden"]], { method: "post" });
  doc.listeners.submit({ target: post, preventDefault() { prevented++; } });
  assert.strictEqual(prevented, 1);
});

test("edits make the update button usable; choosing an upload file or typing search words does not", () => {
  const { doc } = page();
  const button = makeCell(doc, "updateButton");
  const upload = makeForm(doc, "imageForm", [["Image.file", "", "file"]]);
  const search = makeForm(doc, "Search", [["words", "x"]]);
  const image = makeForm(doc, "Image", [["name", "x"], ["file", "", "file"]]);
  doc.listeners.change({ target: upload.elements["Image.file"] });
  doc.listeners.input({ target: search.elements.words });
  doc.listeners.change({ target: image.elements.file });
  assert.ok(!button.classList.contains("active"));
  doc.listeners.input({ target: image.elements.name });
  assert.ok(button.classList.contains("active"));

  const other = page();
  const folderButton = makeCell(other.doc, "updateButton");
  const folder = makeForm(other.doc, "Folder", [["name", "x"], ["parent", "0", "select-one"]]);
  other.doc.listeners.change({ target: folder.elements.parent });
  assert.ok(folderButton.classList.contains("active"));
});

test("Enter in the login form presses the login button", () => {
  const { doc } = page();
  const button = makeCell(doc);
  const form = makeForm(doc, "Login", [["username", "u"], ["password", "p", "password"]]);
  form.query = { "td.loginButton": button };
  let prevented = 0;
  doc.listeners.keydown({ key: "Enter", target: form.elements.password, preventDefault() { prevented++; } });
  doc.listeners.keydown({ key: "a", target: form.elements.password, preventDefault() { prevented++; } });
  assert.strictEqual(button.clicks, 1);
  assert.strictEqual(prevented, 1);
});

test("openWindow and openImageWindow open new windows", () => {
  const { win, js } = page();
  js.openWindow("/eng/User_manual_1_0.pdf");
  js.openImageWindow("/?session=7&page=601&Image.id=3");
  js.openImageWindow("/?session=7&page=601&Image.id=4");
  assert.strictEqual(win.opened.length, 3);
  assert.deepStrictEqual(win.opened[0].slice(0, 2), ["/eng/User_manual_1_0.pdf", "_blank"]);
  assert.strictEqual(win.opened[1][1], win.opened[2][1], "the image window is reused");
  assert.match(win.opened[1][2], /resizable=yes/);
});

test("askFirst loads only after yes", () => {
  const { doc, js } = page();
  const target = makeWindow("area");
  const asked = [];
  for (const answer of [false, true]) {
    doc.defaultView.confirm = (question) => { asked.push(question); return answer; };
    js.askFirst(makeCell(doc), target, "/?page=406&action=4", "Remove?");
    assert.strictEqual(target.location.href, answer ? "/?page=406&action=4" : "");
  }
  assert.deepStrictEqual(asked, ["Remove?", "Remove?"]);
});

test("Enter and Space press a cell or row with a click handler, nothing else", () => {
  const { doc, js } = page();
  const cases = [
    { tag: "TD", onclick: "mouseClick(this,document,'/x')", key: "Enter", pressed: true },
    { tag: "TR", onclick: "mouseClick2(this,parent.right,'/a',document,'/b')", key: " ", pressed: true },
    { tag: "TD", onclick: "x()", key: "a", pressed: false },
    { tag: "TD", onclick: null, key: "Enter", pressed: false },
    { tag: "INPUT", onclick: "x()", key: " ", pressed: false },
  ];
  for (const c of cases) {
    const element = makeCell(doc);
    element.tagName = c.tag;
    element.getAttribute = (name) => (name === "onclick" ? c.onclick : null);
    let prevented = 0;
    js.VistrelPages.onKey({ key: c.key, target: element, preventDefault() { prevented++; } });
    assert.strictEqual(element.clicks, c.pressed ? 1 : 0, `${c.tag} ${c.key}`);
    assert.strictEqual(prevented, c.pressed ? 1 : 0, `${c.tag} ${c.key}`);
  }
});

test("a menu knows which entries load which page of its sibling frame", () => {
  const { doc, js } = page();
  const rows = [
    "mouseClick2(this,parent.right,'/?session=1&page=400&tab_main=400&requestId=9',document,'/?session=1&page=4&tab_main=400')",
    "mouseClick2(this,parent.list,'/?page=302',parent.info,'/?page=304')",
    "mouseClick(this,document,'/?page=700')",
  ].map((handler) => ({ getAttribute: () => handler }));
  doc.querySelectorAll = () => rows;
  const found = js.VistrelPages.entries(doc);
  assert.strictEqual(found.length, 1);
  assert.deepStrictEqual(Array.from(found[0]), ["right", 400, "/?session=1&page=4&tab_main=400"]);
});
