// How a person works in the modules of the right frame: finds the module's frames, types,
// chooses and clicks, and waits until the frames that a click reloads show their new
// documents. Every function takes the walk (the person's browser) as its first argument
// and checks what the page shows against the translation files.
"use strict";

const { until, child } = require("./browser.js");
const { MODULES, squash, exactly } = require("./common.js");

const moduleById = (id) => MODULES.find((m) => m.id === id);

// The frame of the open module with that name (menu, area, title, list, info), or null.
function frameOf(w, name) {
  const s = w.shell();
  return s ? child(s.right, name) : null;
}

// Waits until every named frame of the module shows a document that was not there when
// markOld ran, fully loaded; returns the frames by name.
async function newDocuments(w, names, what) {
  return until(what, async () => {
    const frames = {};
    for (const name of names) {
      const f = frameOf(w, name);
      if (!f || f.isDetached()) return null;
      const ready = await f.evaluate(() => document.readyState === "complete" &&
        !window.vistrelOld && Array.from(document.images).every((i) => i.complete));
      if (!ready) return null;
      frames[name] = f;
    }
    return frames;
  });
}

async function markOld(w, names) {
  for (const name of names) {
    const f = frameOf(w, name);
    if (f) await f.evaluate(() => { window.vistrelOld = true; });
  }
}

// Does something (a function: clicks, keys) and waits until the named frames have loaded
// their next documents.
async function actReloading(w, act, names, what) {
  await markOld(w, names);
  await act();
  return newDocuments(w, names, what || `${names.join(" and ")} after a click`);
}

const clickReloading = (w, locator, names, what) => actReloading(w, () => locator.click(), names, what);

// The current documents of the named frames, once loaded.
const framesNow = (w, names) => newDocuments(w, names, `the frames ${names.join(", ")}`);

const button = (frame, text) => frame.locator("td.pageButton", { hasText: exactly(text) });

async function texts(frame, selector) {
  return (await frame.locator(selector).allInnerTexts()).map(squash);
}

function expectEqual(what, shown, expected) {
  if (JSON.stringify(shown) !== JSON.stringify(expected)) {
    throw new Error(`${what}: ${JSON.stringify(shown)}, expected ${JSON.stringify(expected)}`);
  }
}

// The update button of a form becomes usable once a value changed; then it is pressed.
async function pressUpdate(w, frame, names, what) {
  const update = frame.locator("#updateButton");
  await until(`the update button to become usable (${what})`, async () =>
    (await update.getAttribute("class") || "").split(/\s+/).includes("active"));
  return clickReloading(w, update, names, what);
}

// Fills text fields (name -> text) and choices (name -> shown option text) of a form.
async function fillForm(frame, form, fields, choices) {
  for (const [name, value] of Object.entries(fields)) {
    const field = frame.locator(`form[name=${form}] [name=${name}]`);
    await field.click();
    await field.fill(String(value));
  }
  for (const [name, label] of Object.entries(choices)) {
    await frame.locator(`form[name=${form}] select[name=${name}]`).selectOption({ label });
  }
}

// What a form shows: text fields by value, choices by the text of the chosen option.
async function formValues(frame, form) {
  return frame.evaluate((form) => {
    const values = {};
    for (const e of document.forms[form].elements) {
      if (!e.name || e.type === "hidden") continue;
      values[e.name] = e.tagName === "SELECT" ?
        (e.selectedIndex >= 0 ? e.options[e.selectedIndex].text.trim() : null) : e.value;
    }
    return values;
  }, form);
}

async function expectForm(frame, form, expected, what) {
  const shown = await formValues(frame, form);
  for (const [name, value] of Object.entries(expected)) {
    if (shown[name] !== String(value)) {
      throw new Error(`${what}: field ${name} shows ${JSON.stringify(shown[name])}, ` +
        `expected ${JSON.stringify(String(value))}`);
    }
  }
}

// ---------------------------------------------------------------------------------------
// User administration (module 300): list, form and buttons of the administrator.

const userAdmin = {
  async rows(w) {
    const { list } = await framesNow(w, ["list"]);
    return list.evaluate(() => Array.from(document.querySelectorAll("tr.userList")).map((tr) => {
      const cells = Array.from(tr.cells).map((td) => td.innerText.replace(/\s+/g, " ").trim());
      return { icon: tr.querySelector("img").getAttribute("src"), name: cells[1],
        username: cells[2], type: cells[3], id: Number(cells[4]),
        selected: (tr.getAttribute("bgcolor") || "").toUpperCase() === "#C0C0C0" };
    }));
  },

  async selected(w) {
    const chosen = (await userAdmin.rows(w)).filter((r) => r.selected);
    if (chosen.length !== 1) throw new Error(`${chosen.length} users are selected in the list`);
    return chosen[0];
  },

  // New: the module reloads with a new, empty account selected; returns its id.
  async create(w) {
    const { info } = await framesNow(w, ["info"]);
    await clickReloading(w, button(info, w.t("BUTTON_NEW")), ["title", "list", "info"],
      "the user administration after New");
    const row = await userAdmin.selected(w);
    if (row.username !== "" || row.name !== "") {
      throw new Error(`New selected ${JSON.stringify(row)}, not an empty account`);
    }
    return row.id;
  },

  async select(w, username) {
    const { list } = await framesNow(w, ["list"]);
    const row = list.locator("tr.userList", { has: list.locator("td", { hasText: exactly(username) }) });
    await clickReloading(w, row, ["list", "info"], `the account ${username}`);
    const chosen = await userAdmin.selected(w);
    if (chosen.username !== username) throw new Error(`selected ${chosen.username}, not ${username}`);
    const { info } = await framesNow(w, ["info"]);
    await expectForm(info, "User", { username }, "the user form");
    return chosen;
  },

  // Fills the form of the selected account with the person's values and saves it.
  async save(w, fields, choices) {
    const { info } = await framesNow(w, ["info"]);
    await fillForm(info, "User", fields, choices);
    const frames = await pressUpdate(w, info, ["title", "list", "info"], "saving the user");
    // The password fields come back empty: no page shows a stored password.
    const shown = { ...fields, ...choices };
    for (const name of ["password1", "password2"]) if (name in shown) shown[name] = "";
    await expectForm(frames.info, "User", shown, "the user form after Save");
    return userAdmin.selected(w);
  },

  // The choices of the form for a person's rights.
  choices(w, p) {
    const allowed = (yes) => w.t(yes ? "TEXT_ALLOWED" : "TEXT_NOT_ALLOWED");
    const required = (yes) => w.t(yes ? "TEXT_REQUIRED" : "TEXT_NOT_REQUIRED");
    return { type: w.t("TYPE_USER"), enabled: w.t("WORD_YES"),
      imageUpload: allowed(p.upload), imageDownload: allowed(p.download),
      imageAccept: required(p.imageAccept), folderAccept: required(p.folderAccept),
      folderAdmin: allowed(p.folderAdmin) };
  },
};

// ---------------------------------------------------------------------------------------
// Folder administration (module 900): the listed folder's children, the form, the buttons.

const folderAdmin = {
  async rows(w) {
    const { list } = await framesNow(w, ["list"]);
    return list.evaluate(() => Array.from(document.querySelectorAll("tr.folderList")).map((tr) => ({
      name: tr.innerText.replace(/\s+/g, " ").trim(),
      icon: tr.querySelector("img").getAttribute("src"),
      selected: (tr.getAttribute("bgcolor") || "").toUpperCase() === "#C0C0C0",
    })));
  },

  async names(w) {
    return (await folderAdmin.rows(w)).map((r) => r.name).filter((n) => n !== "..");
  },

  async title(w) {
    const { title } = await framesNow(w, ["title"]);
    return w.innerText(title, "tr.pageTitle");
  },

  async buttons(w) {
    const { info } = await framesNow(w, ["info"]);
    return texts(info, "td.pageButton");
  },

  // New: a plain folder named with the text of TEXT_NEW_FOLDER, selected in the list.
  async create(w) {
    const { info } = await framesNow(w, ["info"]);
    await clickReloading(w, button(info, w.t("BUTTON_NEW")), ["title", "list", "info"],
      "the folder administration after New");
    const chosen = (await folderAdmin.rows(w)).filter((r) => r.selected);
    expectEqual("the selected folder after New", chosen.map((r) => [r.name, r.icon]),
      [[w.t("TEXT_NEW_FOLDER"), "/images/folder_disabled.gif"]]);
    const { info: form } = await framesNow(w, ["info"]);
    await expectForm(form, "Folder", { name: w.t("TEXT_NEW_FOLDER"), enabled: w.t("WORD_NO"),
      imageFolder: w.t("WORD_NO") }, "the form of a new folder");
  },

  // A click on a folder of the list: selects it, or opens a selected plain folder.
  async click(w, name) {
    const { list } = await framesNow(w, ["list"]);
    const row = list.locator("tr.folderList", { hasText: exactly(name) });
    const opens = (await row.getAttribute("onclick")).startsWith("mouseClick(");
    await clickReloading(w, row, opens ? ["title", "list", "info"] : ["list", "info"],
      `a click on the folder ${name}`);
  },

  async select(w, name) {
    await folderAdmin.click(w, name);
    const chosen = (await folderAdmin.rows(w)).filter((r) => r.selected).map((r) => r.name);
    expectEqual("the selected folder", chosen, [name]);
  },

  // Opens a plain folder of the list: the first click selects it, the second opens it.
  async open(w, name) {
    const row = (await folderAdmin.rows(w)).find((r) => r.name === name);
    if (!row || !row.selected) await folderAdmin.select(w, name);
    await folderAdmin.click(w, name);
    const shown = await folderAdmin.title(w);
    if (shown !== name) throw new Error(`the folder administration lists "${shown}", not "${name}"`);
  },

  async up(w) {
    await folderAdmin.click(w, "..");
  },

  // Saves the selected folder: name (text), enabled, imageFolder (true/false), parent (path
  // text of the choice) and owner (shown name), each only when given.
  async save(w, values) {
    const { info } = await framesNow(w, ["info"]);
    const yesNo = (v) => w.t(v ? "WORD_YES" : "WORD_NO");
    const fields = values.name !== undefined ? { name: values.name } : {};
    const choices = {};
    if (values.enabled !== undefined) choices.enabled = yesNo(values.enabled);
    if (values.imageFolder !== undefined) choices.imageFolder = yesNo(values.imageFolder);
    if (values.parent !== undefined) choices.parent = values.parent;
    if (values.owner !== undefined) choices.ownerId = values.owner;
    await fillForm(info, "Folder", fields, choices);
    await pressUpdate(w, info, ["title", "list", "info"], "saving the folder");
  },

  async options(w, name) {
    const { info } = await framesNow(w, ["info"]);
    return texts(info, `form[name=Folder] select[name=${name}] option`);
  },

  // Delete: the question names the folder; Yes deletes it and lists its parent again.
  async remove(w, name, confirm = true) {
    const { info } = await framesNow(w, ["info"]);
    const { info: question } = await clickReloading(w, button(info, w.t("BUTTON_DELETE")), ["info"],
      "the question before deleting a folder");
    const asked = await w.innerText(question, "p.dialogText");
    const expected = `${w.t("QUESTION_DELETE_FOLDER")} ( ${name} )?`;
    if (asked !== squash(expected)) throw new Error(`the question reads "${asked}", expected "${expected}"`);
    if (!confirm) return question;
    await clickReloading(w, button(question, w.t("BUTTON_YES")), ["title", "list", "info"],
      "the folder administration after deleting");
    if ((await folderAdmin.names(w)).includes(name)) throw new Error(`${name} is still listed`);
    return null;
  },
};

// ---------------------------------------------------------------------------------------
// The image pages that several modules share: grids of small pictures and the detail page.

const images = {
  // The cells of a grid: { id, title, titleClass, buttons, status }.
  async cells(frame) {
    return frame.evaluate(() => Array.from(document.querySelectorAll("table[width='160']")).map((t) => {
      const title = t.querySelector("td[class^=imageTitle]");
      const status = t.querySelector("td[class^=imageStatusbar]");
      const img = t.querySelector("img");
      const id = /[?&]Image\.id=(\d+)$/.exec(img ? img.getAttribute("src") : "");
      return { id: id ? Number(id[1]) : null,
        title: title ? title.innerText.replace(/\s+/g, " ").trim() : null,
        titleClass: title ? title.className : null,
        buttons: Array.from(t.querySelectorAll("td.imageButton, td.acceptButton, td.denyButton"))
          .map((b) => b.innerText.trim()),
        status: status ? status.innerText.replace(/\s+/g, " ").trim() : null,
        loaded: !!img && img.complete && img.naturalWidth > 0 };
    }));
  },

  async cell(frame, id) {
    const cell = (await images.cells(frame)).find((c) => c.id === id);
    if (!cell) throw new Error(`the grid shows no picture of image ${id}`);
    if (!cell.loaded) throw new Error(`the small picture of image ${id} did not load`);
    return cell;
  },

  cellLocator(frame, id) {
    return frame.locator("table[width='160']", { has: frame.locator(`img[src$='Image.id=${id}']`) });
  },

  // Presses a button under the picture of an image; the grid's frame reloads.
  async press(w, frameName, id, text) {
    const frame = frameOf(w, frameName);
    const target = images.cellLocator(frame, id).locator("td.imageButton", { hasText: exactly(text) });
    const frames = await clickReloading(w, target, [frameName], `the grid after ${text} on image ${id}`);
    return frames[frameName];
  },

  // Accepts or denies under the picture of an image: the decision goes in the background,
  // the tile keeps its place and shows the outcome, and the page's message line tells it;
  // no other tile moves. Then the grid is loaded again, and returned.
  async decide(w, frameName, id, text) {
    const frame = frameOf(w, frameName);
    const before = (await images.cells(frame)).map((c) => c.id);
    const accept = text === w.t("BUTTON_ACCEPT");
    const target = images.cellLocator(frame, id).locator(accept ? "td.acceptButton" : "td.denyButton");
    await target.click();
    const outcome = w.t(accept ? "MESSAGE_ACCEPTED" : "MESSAGE_DENIED");
    await until(`the tile of image ${id} to show ${outcome}`, async () => {
      const cell = (await images.cells(frame)).find((c) => c.id === id);
      return cell && cell.buttons.length === 0 && cell.status === outcome;
    });
    expectEqual(`the message after ${text}`, await texts(frame, "div.message_done"), [outcome]);
    expectEqual(`the tiles after ${text} on image ${id}`, (await images.cells(frame)).map((c) => c.id), before);
    const frames = await actReloading(w, () => frame.evaluate(() => location.reload()), [frameName],
      `the grid loaded again after ${text} on image ${id}`);
    return frames[frameName];
  },

  async openDetail(w, frameName, id) {
    const frame = frameOf(w, frameName);
    const picture = images.cellLocator(frame, id).locator(`img[src$='Image.id=${id}']`);
    const frames = await clickReloading(w, picture, [frameName], `the detail page of image ${id}`);
    return frames[frameName];
  },

  async backToGrid(w, frameName) {
    const frame = frameOf(w, frameName);
    const back = frame.locator("td.pageNum", { has: frame.locator("img[src='/images/multiview.gif']") });
    const frames = await clickReloading(w, back, [frameName], "the grid after the back button");
    return frames[frameName];
  },

  // The attribute rows of a detail page: label -> shown value (inputs by their value).
  async details(frame) {
    return frame.evaluate(() => {
      const rows = {};
      for (const label of document.querySelectorAll("td.imageAttribute")) {
        const cell = label.nextElementSibling;
        const field = cell && cell.querySelector("input, textarea");
        rows[label.innerText.replace(/\s+/g, " ").trim()] =
          field ? field.value : (cell ? cell.innerText.replace(/\s+/g, " ").trim() : null);
      }
      rows.pictureLoaded = Array.from(document.images).some((i) =>
        /[?&]page=604&/.test(i.getAttribute("src")) && i.naturalWidth > 0);
      return rows;
    });
  },

  // Fills the image form of a detail page and saves it.
  async edit(w, frameName, values) {
    const frame = frameOf(w, frameName);
    await fillForm(frame, "Image", values, {});
    const frames = await pressUpdate(w, frame, [frameName], "saving the image");
    await expectForm(frames[frameName], "Image", values, "the image form after Save");
    return frames[frameName];
  },
};

// ---------------------------------------------------------------------------------------
// Tabs in the title frame (menu) of a module: the page goes to area, the tabs reload.

async function chooseTab(w, key) {
  const { menu } = await framesNow(w, ["menu"]);
  const text = w.t(key);
  const selected = await texts(menu, "td.tabSelected");
  if (!selected.includes(text)) {
    await clickReloading(w, menu.locator("td.tab", { hasText: exactly(text) }), ["menu", "area"],
      `the tab ${text}`);
  }
  const now = await framesNow(w, ["menu", "area"]);
  expectEqual("the selected tab", await texts(now.menu, "td.tabSelected"), [text]);
  return now;
}

// ---------------------------------------------------------------------------------------
// Image folders (module 400): walking the tree from the list of sub-folders.

const folders = {
  async title(w) {
    const { menu } = await framesNow(w, ["menu"]);
    return w.innerText(menu, "tr.pageTitle td:not([width])");
  },

  async subfolders(w) {
    const { area } = await framesNow(w, ["area"]);
    return texts(area, "tr.folder, tr.imageFolder");
  },

  // Opens a sub-folder of the shown folder: the whole module reloads for it.
  async open(w, name) {
    const { area } = await framesNow(w, ["area"]);
    const row = area.locator("tr.folder, tr.imageFolder", { hasText: exactly(name) });
    await clickReloading(w, row, ["menu", "area"], `the folder ${name}`);
    const shown = await folders.title(w);
    if (shown !== name) throw new Error(`the folder module shows "${shown}", not "${name}"`);
  },

  // Back to the top of the tree through the first part of the path.
  async root(w) {
    const { menu } = await framesNow(w, ["menu"]);
    const top = menu.locator("tr.folderPath td[onclick]", { hasText: exactly(w.t("TITLE_FOLDERS")) });
    if (await top.count() === 0) return;
    await clickReloading(w, top.first(), ["menu", "area"], "the top of the folder tree");
  },

  // Opens a folder given by its path from the top of the tree.
  async go(w, ...names) {
    await folders.root(w);
    for (const name of names) await folders.open(w, name);
  },
};

// ---------------------------------------------------------------------------------------
// Uploading from the own-images tab of "My account" (module 100).

async function upload(w, file) {
  const { area } = await framesNow(w, ["area"]);
  await area.locator("form[name=imageForm] input[type=file]").setInputFiles(file);
  const frames = await clickReloading(w, area.locator("form[name=imageForm] input.uploadButton"),
    ["area"], `the page after uploading ${file}`);
  return frames.area;
}

module.exports = { moduleById, frameOf, framesNow, markOld, actReloading, clickReloading, newDocuments, button, texts,
  expectEqual, expectForm, fillForm, pressUpdate, userAdmin, folderAdmin, images, folders,
  chooseTab, upload };
