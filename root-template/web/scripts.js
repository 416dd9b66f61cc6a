/*
 * Vistrel browser script.
 *
 * The generated pages call the functions at the end of this file from inline handlers.
 * The pages pass the window or document to load into themselves (document, parent,
 * parent.right, parent.submain, ...), so this script only loads URLs into whatever it
 * is given, and falls back to its own window when a page is shown outside its frames.
 *
 * Typed values are percent-encoded before they go into a URL. The server splits the
 * query at "&" and "=" and then decodes every name and value, and it keeps "+" as it is,
 * so each value is encoded completely (blanks as %20) in the character set that the
 * page itself is shown in: what the server stores is then shown again as it was typed.
 *
 * This file is kept to plain ASCII so that it reads the same in any page encoding.
 */

var VistrelScript = (function () {
  "use strict";

  /* Unicode code point -> windows-1252 byte, for the bytes 0x80..0x9F that differ from
     Latin-1. 0x81, 0x8D, 0x8F, 0x90 and 0x9D stand for the code points of the same value. */
  var WINDOWS_1252_HIGH = {
    0x20AC: 0x80, 0x201A: 0x82, 0x0192: 0x83, 0x201E: 0x84, 0x2026: 0x85, 0x2020: 0x86,
    0x2021: 0x87, 0x02C6: 0x88, 0x2030: 0x89, 0x0160: 0x8A, 0x2039: 0x8B, 0x0152: 0x8C,
    0x017D: 0x8E, 0x2018: 0x91, 0x2019: 0x92, 0x201C: 0x93, 0x201D: 0x94, 0x2022: 0x95,
    0x2013: 0x96, 0x2014: 0x97, 0x02DC: 0x98, 0x2122: 0x99, 0x0161: 0x9A, 0x203A: 0x9B,
    0x0153: 0x9C, 0x017E: 0x9E, 0x0178: 0x9F,
    0x81: 0x81, 0x8D: 0x8D, 0x8F: 0x8F, 0x90: 0x90, 0x9D: 0x9D
  };

  /* Characters that encodeURIComponent leaves as they are. */
  var UNRESERVED = /^[A-Za-z0-9\-_.!~*'()]$/;

  /* Control types whose values are never sent by the update functions. */
  var NOT_SENT = { hidden: true, submit: true, button: true, reset: true, image: true, file: true };

  function text(value) {
    if (value === undefined || value === null) {
      return "";
    }
    /* A lone surrogate (half of a broken character) cannot be encoded: replace it. */
    var s = String(value);
    var out = "";
    for (var i = 0; i < s.length; i++) {
      var c = s.charCodeAt(i);
      if (c >= 0xD800 && c <= 0xDBFF) {
        var next = i + 1 < s.length ? s.charCodeAt(i + 1) : 0;
        if (next >= 0xDC00 && next <= 0xDFFF) {
          out += s.charAt(i) + s.charAt(i + 1);
          i++;
        } else {
          out += "\uFFFD";
        }
      } else if (c >= 0xDC00 && c <= 0xDFFF) {
        out += "\uFFFD";
      } else {
        out += s.charAt(i);
      }
    }
    return out;
  }

  function percentByte(b) {
    return "%" + (b < 16 ? "0" : "") + b.toString(16).toUpperCase();
  }

  function encodeWindows1252(value) {
    var out = "";
    for (var i = 0; i < value.length; i++) {
      var cp = value.codePointAt(i);
      var ch = String.fromCodePoint(cp);
      if (cp > 0xFFFF) {
        i++;
      }
      if (UNRESERVED.test(ch)) {
        out += ch;
      } else if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        out += percentByte(cp);
      } else if (WINDOWS_1252_HIGH.hasOwnProperty(cp)) {
        out += percentByte(WINDOWS_1252_HIGH[cp]);
      } else {
        /* Not in the character set: sent as a numeric character reference, the way
           browsers submit such characters in forms. */
        out += encodeURIComponent("&#" + cp + ";");
      }
    }
    return out;
  }

  function encodingOf(doc) {
    var name = (doc && (doc.characterSet || doc.charset)) || "UTF-8";
    return String(name).toLowerCase();
  }

  /* Encodes one name or value for the query of a URL shown from the document doc. */
  function encode(value, doc) {
    var s = text(value);
    var charset = encodingOf(doc);
    if (charset === "windows-1252" || charset === "iso-8859-1" || charset === "us-ascii") {
      return encodeWindows1252(s);
    }
    return encodeURIComponent(s);
  }

  /* Appends name=value pairs (an array of [name, value]) to a URL. */
  function appendParams(url, pairs, doc) {
    var result = String(url);
    for (var i = 0; i < pairs.length; i++) {
      result += (result.indexOf("?") < 0 ? "?" : "&") +
        encode(pairs[i][0], doc) + "=" + encode(pairs[i][1], doc);
    }
    return result;
  }

  /* Reads an attribute of a form. Its properties (form.name, form.target, ...) are not
     used: a field of the same name, such as the field "name" of the image form, hides them. */
  function formAttribute(form, name) {
    var value = form && form.getAttribute ? form.getAttribute(name) : null;
    return value === null || value === undefined ? "" : String(value);
  }

  function documentOf(cell) {
    return (cell && cell.ownerDocument) || document;
  }

  /* Loads a URL into a window or a document; without a usable target, into this window. */
  function load(target, url) {
    var location = target && target.location;
    if (!location) {
      location = window.location;
    }
    location.href = url;
  }

  function isUpdateButton(cell) {
    return !!cell && cell.id === "updateButton";
  }

  function isActive(cell) {
    return !!cell && !!cell.classList && cell.classList.contains("active");
  }

  /* The update button is usable only once a value of its form has changed. */
  function blocked(cell) {
    return isUpdateButton(cell) && !isActive(cell);
  }

  function addClass(element, name) {
    if (element && element.classList) {
      element.classList.add(name);
    }
  }

  function removeClass(element, name) {
    if (element && element.classList) {
      element.classList.remove(name);
    }
  }

  /* The values a form sends: every named, enabled control but hidden fields and buttons,
     in form order, checkboxes and radio buttons only when checked. */
  function formValues(form) {
    var pairs = [];
    var elements = form.elements || [];
    for (var i = 0; i < elements.length; i++) {
      var e = elements[i];
      var type = String(e.type || "").toLowerCase();
      if (!e.name || e.disabled || NOT_SENT[type]) {
        continue;
      }
      if ((type === "checkbox" || type === "radio") && !e.checked) {
        continue;
      }
      if (type === "select-multiple") {
        for (var j = 0; j < e.options.length; j++) {
          if (e.options[j].selected) {
            pairs.push([e.name, e.options[j].value]);
          }
        }
        continue;
      }
      pairs.push([e.name, e.value]);
    }
    return pairs;
  }

  /*
   * Sends the fields of a form with the URL of a button: each field as prefix + name.
   * required lists the fields the action needs; when one of them is missing the form is
   * not what the button expects, and nothing is sent, since the server would store empty
   * texts for the missing fields.
   */
  function sendForm(cell, target, url, formName, prefix, required) {
    if (blocked(cell)) {
      return false;
    }
    var doc = documentOf(cell);
    var form = doc.forms ? doc.forms[formName] : null;
    if (!form) {
      return false;
    }
    var pairs = formValues(form);
    var present = {};
    for (var i = 0; i < pairs.length; i++) {
      present[pairs[i][0]] = true;
      pairs[i][0] = prefix + pairs[i][0];
    }
    for (var k = 0; k < required.length; k++) {
      if (!present[required[k]]) {
        return false;
      }
    }
    load(target, appendParams(url, pairs, doc));
    return true;
  }

  /* Sends the named fields of a form as parameters of the same names. */
  function sendFields(cell, target, url, formName, fields) {
    var doc = documentOf(cell);
    var form = doc.forms ? doc.forms[formName] : null;
    if (!form) {
      return false;
    }
    var pairs = [];
    for (var i = 0; i < fields.length; i++) {
      var field = form.elements ? form.elements[fields[i][0]] : null;
      if (!field) {
        return false;
      }
      pairs.push([fields[i][1], field.value]);
    }
    load(target, appendParams(url, pairs, doc));
    return true;
  }

  /* Submits a form of the cell's document as the browser would (its own method and
     encoding): the login form posts, so that a password never stands in a URL. */
  function submitForm(cell, formName) {
    var doc = documentOf(cell);
    var form = doc.forms ? doc.forms[formName] : null;
    if (!form || typeof form.submit !== "function") {
      return false;
    }
    form.submit();
    return true;
  }

  function activate(doc) {
    var button = (doc || document).getElementById("updateButton");
    addClass(button, "active");
  }

  /* Forms whose changes the update button sends. */
  var EDIT_FORMS = { Image: true, User: true, Folder: true };

  /* Any change of an edit form makes its update button usable, also where the page's
     own key handler cannot tell (pasting with the mouse, values holding quotes). */
  function onEdit(event) {
    var field = event.target;
    if (!field || !field.form || !EDIT_FORMS.hasOwnProperty(formAttribute(field.form, "name"))) {
      return;
    }
    if (String(field.type || "").toLowerCase() === "file") {
      return;
    }
    activate(field.ownerDocument);
  }

  /*
   * Some forms carry a hidden field named "session" whose value continues the query
   * ("<id>&page=700&action=18&requestId=..."). A browser would encode its "&" and "=",
   * and the server, which splits before it decodes, would not see the parameters. So
   * such a form is sent here instead: the continuation as it is, the other fields encoded.
   */
  function continuation(form) {
    var field = form && form.elements ? form.elements.session : null;
    if (!field || String(field.type || "").toLowerCase() !== "hidden") {
      return null;
    }
    var value = String(field.value || "");
    return value.indexOf("&") >= 0 ? value : null;
  }

  function submitTarget(form, win) {
    var name = formAttribute(form, "target").toLowerCase();
    if (name === "" || name === "_self") {
      return win;
    }
    if (name === "_parent") {
      return win.parent;
    }
    if (name === "_top") {
      return win.top;
    }
    return null;
  }

  function onSubmit(event) {
    var form = event.target;
    var rest = continuation(form);
    if (rest === null) {
      return;
    }
    var method = (formAttribute(form, "method") || "get").toLowerCase();
    var doc = form.ownerDocument || document;
    var win = doc.defaultView || window;
    var target = submitTarget(form, win);
    if (method !== "get" || !target) {
      return;
    }
    event.preventDefault();
    var action = formAttribute(form, "action");
    var path = action ? action.split("?")[0] : "/";
    load(target, appendParams(path + "?session=" + rest, formValues(form), doc));
  }

  /* The login form has two fields and no submit button, so Enter would do nothing:
     let it press the login button. */
  function onKeyDown(event) {
    if (event.key !== "Enter") {
      return;
    }
    var field = event.target;
    if (!field || !field.form || formAttribute(field.form, "name") !== "Login" ||
        !field.form.querySelector) {
      return;
    }
    var button = field.form.querySelector("td.loginButton");
    if (button) {
      event.preventDefault();
      button.click();
    }
  }

  if (typeof document !== "undefined" && document.addEventListener) {
    document.addEventListener("input", onEdit, true);
    document.addEventListener("change", onEdit, true);
    document.addEventListener("submit", onSubmit, false);
    document.addEventListener("keydown", onKeyDown, false);
  }

  return {
    encode: encode,
    appendParams: appendParams,
    load: load,
    blocked: blocked,
    addClass: addClass,
    removeClass: removeClass,
    sendForm: sendForm,
    sendFields: sendFields,
    submitForm: submitForm,
    activate: activate,
    onSubmit: onSubmit,
    onKeyDown: onKeyDown,
    onEdit: onEdit
  };
})();

/* ---------- Functions the pages call ---------- */

/* Highlights a clickable cell or row while the pointer is over it. */
function mouseOver(cell) {
  if (!VistrelScript.blocked(cell)) {
    VistrelScript.addClass(cell, "hover");
  }
}

/* Takes the highlight away again. */
function mouseOut(cell) {
  VistrelScript.removeClass(cell, "hover");
}

/* Loads url into target: a document, a window or a frame. */
function mouseClick(cell, target, url) {
  VistrelScript.load(target, url);
}

/* Loads url into target and url2 into target2: a page and the menu that selects it. A menu
   that reloads itself does so without a history entry of its own, so that one Back takes
   the choice back; the menu then follows its frame (see VistrelPages). */
function mouseClick2(cell, target, url, target2, url2) {
  VistrelScript.load(target, url);
  if (target2 && cell && target2 === cell.ownerDocument && target2.location &&
      typeof target2.location.replace === "function") {
    target2.location.replace(url2);
  } else {
    VistrelScript.load(target2, url2);
  }
}

/* Opens url (the user manual) in a new browser window. */
function openWindow(url) {
  var w = window.open(url, "_blank");
  if (w && w.focus) {
    w.focus();
  }
}

/* Opens the window with the full-size image; the next image reuses it. */
function openImageWindow(url) {
  var width = 900;
  var height = 700;
  if (window.screen && window.screen.availWidth) {
    width = Math.round(window.screen.availWidth * 0.8);
    height = Math.round(window.screen.availHeight * 0.8);
  }
  var w = window.open(url, "VistrelImage",
    "width=" + width + ",height=" + height + ",resizable=yes,scrollbars=yes");
  if (w && w.focus) {
    w.focus();
  }
}

/* Makes the update button usable once a value of the form has changed. */
function activateUpdateButton() {
  VistrelScript.activate(document);
}

/* Saves the attributes of an image: the form Image as Image.imageDate, Image.name,
   Image.keywords and Image.description. */
function updateImage(cell, target, url) {
  if (VistrelScript.blocked(cell)) {
    return;
  }
  VistrelScript.sendFields(cell, target, url, "Image", [
    ["imageDate", "Image.imageDate"],
    ["name", "Image.name"],
    ["keywords", "Image.keywords"],
    ["description", "Image.description"]
  ]);
}

/* Saves a user in the user administration: every field of the form User as User.<field>. */
function updateUser(cell, target, url) {
  VistrelScript.sendForm(cell, target, url, "User", "User.", [
    "type", "enabled", "lastname", "firstname", "username", "password1", "password2",
    "email", "imageLimit", "imageUpload", "imageDownload", "imageAccept", "folderAccept",
    "folderAdmin"
  ]);
}

/* Saves the own account: every field of the form User as User.<field>. */
function updateUser2(cell, target, url) {
  VistrelScript.sendForm(cell, target, url, "User", "User.", [
    "lastname", "firstname", "username", "password1", "password2", "email"
  ]);
}

/* Saves a folder: every field of the form Folder as Folder.<field>. */
function updateFolder(cell, target, url) {
  VistrelScript.sendForm(cell, target, url, "Folder", "Folder.", [
    "enabled", "imageFolder", "name", "parent", "ownerId"
  ]);
}

/* Logs in with the user name and password typed into the form Login, posted. */
function login(cell) {
  VistrelScript.submitForm(cell, "Login");
}

/* Searches for the words typed into the form Search. */
function search(cell, target, url) {
  VistrelScript.sendFields(cell, target, url, "Search", [
    ["words", "Search.words"]
  ]);
}

/* ---------- Feedback, keyboard, frames and the image viewer ---------- */

var VistrelPages = (function () {
  "use strict";

  function documentOf(cell) {
    return (cell && cell.ownerDocument) || document;
  }

  function windowOf(doc) {
    return (doc && doc.defaultView) || window;
  }

  /* The value of a parameter in a URL's query, or null. */
  function param(url, name) {
    var match = new RegExp("[?&]" + name + "=([^&]*)").exec(String(url));
    return match ? decodeURIComponent(match[1]) : null;
  }

  /* Shows a message line (an element of another document) at the top of the page. */
  function showMessage(doc, message) {
    var copy = doc.importNode(message, true);
    var old = doc.body ? doc.body.querySelector("div.message") : null;
    if (old && old.parentNode === doc.body) {
      doc.body.replaceChild(copy, old);
    } else if (doc.body) {
      doc.body.insertBefore(copy, doc.body.firstChild);
    }
  }

  /*
   * An accept or deny button of a grid: the decision goes to the server in the background,
   * and the tile keeps its place, showing the outcome where its buttons were. So no other
   * tile moves under the pointer; the grid changes when it is loaded again. Whatever else
   * comes back (the session ended) is shown as it is.
   */
  function decide(cell, url, suffix) {
    var row = cell && cell.parentNode;
    var doc = documentOf(cell);
    var win = windowOf(doc);
    if (!row || row.getAttribute("data-decided")) {
      return;
    }
    row.setAttribute("data-decided", "1");
    if (typeof win.fetch !== "function" || typeof win.DOMParser !== "function") {
      VistrelScript.load(doc, url);
      return;
    }
    win.fetch(url, { credentials: "same-origin" }).then(function (response) {
      return response.text();
    }).then(function (html) {
      var page = new win.DOMParser().parseFromString(html, "text/html");
      var message = page.querySelector("div.message_done");
      if (!message) {
        VistrelScript.load(doc, url);
        return;
      }
      while (row.firstChild) {
        row.removeChild(row.firstChild);
      }
      var status = doc.createElement("TD");
      status.className = "imageStatusbar" + suffix;
      status.colSpan = 2;
      status.textContent = message.textContent;
      row.appendChild(status);
      showMessage(doc, message);
    }, function () {
      VistrelScript.load(doc, url);
    });
  }

  /* Loads url into target once the question is answered with yes. */
  function askFirst(cell, target, url, question) {
    var win = windowOf(documentOf(cell));
    if (win.confirm(question)) {
      VistrelScript.load(target, url);
    }
  }

  /* ----- Keyboard: the clickable cells and rows act as buttons ----- */

  var FIELDS = { INPUT: true, TEXTAREA: true, SELECT: true, BUTTON: true, A: true };

  function clickable(element) {
    return !!element && !!element.getAttribute && element.getAttribute("onclick") !== null &&
      !FIELDS[element.tagName];
  }

  /* Every cell or row with a click handler can be reached with Tab. */
  function makeFocusable(doc) {
    var all = doc.querySelectorAll ? doc.querySelectorAll("[onclick]") : [];
    for (var i = 0; i < all.length; i++) {
      if (clickable(all[i]) && all[i].getAttribute("tabindex") === null) {
        all[i].setAttribute("tabindex", "0");
        all[i].setAttribute("role", "button");
      }
    }
  }

  /* Enter or Space on a focused cell or row presses it. */
  function onKey(event) {
    var element = event.target;
    if (event.defaultPrevented || !clickable(element) || event.altKey || event.ctrlKey ||
        event.metaKey || (event.key !== "Enter" && event.key !== " ")) {
      return;
    }
    event.preventDefault();
    element.click();
  }

  /* ----- Frames: a menu follows the frame it chooses the content of ----- */

  var MODULE_OF = { 301: 300, 901: 900 };

  /* The entries of a menu or tab bar that load a sibling frame and reload the menu itself:
     [frame name, page shown, menu URL]. */
  function entries(doc) {
    var found = [];
    var all = doc.querySelectorAll ? doc.querySelectorAll("[onclick]") : [];
    for (var i = 0; i < all.length; i++) {
      var handler = all[i].getAttribute("onclick");
      var match = /^mouseClick2\(this,parent\.([A-Za-z]+),'([^']*)',document,'([^']*)'\)/.exec(handler);
      if (match) {
        found.push([match[1], parseInt(param(match[2], "page"), 10), match[3]]);
      }
    }
    return found;
  }

  /*
   * A menu that shows which module (or tab) its sibling frame holds watches that frame:
   * when the frame comes to show another entry's page (also by the browser's Back), the
   * menu is replaced by its own page with that entry chosen, without a history entry of
   * its own. So one Back keeps menu and content in step.
   */
  function follow(doc) {
    var win = windowOf(doc);
    var list = entries(doc);
    if (list.length === 0 || !win.parent || win.parent === win) {
      return;
    }
    var frames = win.parent.document.getElementsByName(list[0][0]);
    var frame = frames && frames[0];
    if (!frame) {
      return;
    }
    frame.onload = function () {
      var shown;
      try {
        shown = parseInt(param(frame.contentWindow.location.href, "page"), 10);
      } catch (e) {
        return;
      }
      if (MODULE_OF.hasOwnProperty(shown)) {
        shown = MODULE_OF[shown];
      }
      for (var i = 0; i < list.length; i++) {
        if (list[i][1] === shown) {
          win.location.replace(list[i][2]);
          return;
        }
      }
    };
  }

  /* ----- The login page belongs to the whole window ----- */

  function breakOut(doc) {
    var win = windowOf(doc);
    var body = doc.body;
    if (!body || body.className !== "login" || win.top === win) {
      return;
    }
    if (win.parent === win.top && win.name === "submain") {
      return;
    }
    /* Why the page is shown travels along: named in the URL, or said by the page itself (the
       log-out's page names its session, not its state). */
    var state = param(win.location.href, "login");
    if (!state && doc.querySelector && doc.querySelector("td.loginMessage div.message_note")) {
      state = "loggedout";
    }
    win.top.location.replace("/" + (state ? "?login=" + encodeURIComponent(state) : ""));
  }

  /* ----- The image window ----- */

  var SLIDE_SECONDS = 4;
  var slideTimer = null;

  function viewerStep(doc, which, slideshow) {
    var url = doc.body.getAttribute(which === "next" ? "data-next" : "data-previous");
    if (!url) {
      return false;
    }
    windowOf(doc).location.replace(url + (slideshow ? "&slideshow=1" : ""));
    return true;
  }

  function toggleZoom(doc) {
    var image = doc.getElementById("viewerImage");
    if (!image) {
      return;
    }
    image.classList.toggle("fitted");
    doc.body.classList.toggle("actual");
  }

  function startSlideshow(doc) {
    doc.body.classList.add("slideshow");
    slideTimer = windowOf(doc).setTimeout(function () {
      if (!viewerStep(doc, "next", true)) {
        stopSlideshow(doc);
      }
    }, SLIDE_SECONDS * 1000);
  }

  function stopSlideshow(doc) {
    if (slideTimer !== null) {
      windowOf(doc).clearTimeout(slideTimer);
      slideTimer = null;
    }
    doc.body.classList.remove("slideshow");
  }

  function onViewerKey(event) {
    var doc = event.target.ownerDocument || document;
    if (event.altKey || event.ctrlKey || event.metaKey) {
      return;
    }
    switch (event.key) {
      case "z":
      case "Z":
        toggleZoom(doc);
        break;
      case "ArrowLeft":
        viewerStep(doc, "previous", slideTimer !== null);
        break;
      case "ArrowRight":
        viewerStep(doc, "next", slideTimer !== null);
        break;
      case "Escape":
        windowOf(doc).close();
        break;
      case " ":
        if (slideTimer !== null) {
          stopSlideshow(doc);
        } else {
          startSlideshow(doc);
        }
        break;
      default:
        return;
    }
    event.preventDefault();
  }

  function viewer(doc) {
    var image = doc.getElementById("viewerImage");
    if (!image) {
      return;
    }
    image.addEventListener("click", function () {
      toggleZoom(doc);
    });
    doc.addEventListener("keydown", onViewerKey, false);
    if (param(windowOf(doc).location.href, "slideshow") === "1") {
      startSlideshow(doc);
    }
  }

  function onLoad() {
    breakOut(document);
    if (document.body && document.body.id === "viewer") {
      viewer(document);
      return;
    }
    makeFocusable(document);
    follow(document);
  }

  if (typeof window !== "undefined" && window.addEventListener) {
    /* On the window, after the document's own key handlers (the login form's Enter). */
    window.addEventListener("keydown", onKey, false);
  }
  if (typeof document !== "undefined" && document.addEventListener) {
    if (document.readyState === "loading") {
      document.addEventListener("DOMContentLoaded", onLoad, false);
    } else {
      onLoad();
    }
  }

  return {
    decide: decide,
    askFirst: askFirst,
    makeFocusable: makeFocusable,
    onKey: onKey,
    entries: entries,
    param: param
  };
})();

/* Accepts or denies from a grid tile in the background; suffix is the status class suffix
   of the outcome ("_accepted", "_denied"). */
function decide(cell, url, suffix) {
  VistrelPages.decide(cell, url, suffix);
}

/* Loads url into target after the question has been answered with yes. */
function askFirst(cell, target, url, question) {
  VistrelPages.askFirst(cell, target, url, question);
}
