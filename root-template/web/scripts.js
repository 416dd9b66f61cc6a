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
   * Posts the fields of a form to the URL of a button: each field as prefix + name.
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
    post(target, url, pairs);
    return true;
  }

  /* Posts name=value pairs (an array of [name, value]) to url and loads the answer into
     target (a window or a document; without one, this window), as a form of the target's
     document would: what a form holds, passwords among it, then never stands in a URL, in
     a proxy's log or in the history. The browser encodes the values in the document's
     character set, as encode does for a link. */
  function post(target, url, pairs) {
    var targetDoc = target && target.document ? target.document : target;
    if (!targetDoc || typeof targetDoc.createElement !== "function") {
      targetDoc = document;
    }
    var form = targetDoc.createElement("form");
    form.setAttribute("method", "post");
    form.setAttribute("action", url);
    form.style.display = "none";
    for (var i = 0; i < pairs.length; i++) {
      var field = targetDoc.createElement("input");
      field.setAttribute("type", "hidden");
      field.setAttribute("name", pairs[i][0]);
      field.value = text(pairs[i][1]);
      form.appendChild(field);
    }
    (targetDoc.body || targetDoc.documentElement).appendChild(form);
    form.submit();
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

/* Opens the viewer window; the next image reuses it. On a phone (a window narrower than the
   phone layout's 700 pixels) the viewer is a page of its own over the whole screen. */
function openImageWindow(url) {
  var top = window.top || window;
  if (top.innerWidth > 0 && top.innerWidth < 700) {
    var tab = window.open(url, "VistrelImage");
    if (tab && tab.focus) {
      tab.focus();
    }
    return;
  }
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
        toggleSlideshow(doc);
        break;
      default:
        return;
    }
    event.preventDefault();
  }

  function toggleSlideshow(doc) {
    if (slideTimer !== null) {
      stopSlideshow(doc);
    } else {
      startSlideshow(doc);
    }
  }

  /* The on-screen buttons do what the keys do. */
  function viewerButtons(doc) {
    var actions = {
      previousButton: function () { viewerStep(doc, "previous", slideTimer !== null); },
      nextButton: function () { viewerStep(doc, "next", slideTimer !== null); },
      slideshowButton: function () { toggleSlideshow(doc); },
      closeButton: function () { windowOf(doc).close(); }
    };
    Object.keys(actions).forEach(function (id) {
      var button = doc.getElementById(id);
      if (button) {
        button.addEventListener("click", actions[id]);
      }
    });
  }

  /* Touch: a swipe to the left or right (at least 50 pixels, mostly sideways, in a fitted
     picture) steps to the next or previous picture; a double tap zooms into the picture at
     its own size around the tapped place, and back. A zoomed picture pans as the page scrolls. */
  var SWIPE = 50;
  var DOUBLE_TAP_MS = 300;

  function viewerTouch(doc, image) {
    var start = null;
    var lastTap = 0;
    image.addEventListener("touchstart", function (event) {
      if (event.touches.length !== 1) {
        start = null;
        return;
      }
      start = { x: event.touches[0].clientX, y: event.touches[0].clientY };
    }, { passive: true });
    image.addEventListener("touchend", function (event) {
      if (!start || event.changedTouches.length !== 1) {
        return;
      }
      var touch = event.changedTouches[0];
      var dx = touch.clientX - start.x;
      var dy = touch.clientY - start.y;
      start = null;
      if (!doc.body.classList.contains("actual") && Math.abs(dx) >= SWIPE &&
          Math.abs(dx) > 2 * Math.abs(dy)) {
        lastTap = 0;
        viewerStep(doc, dx < 0 ? "next" : "previous", slideTimer !== null);
        event.preventDefault();
        return;
      }
      if (Math.abs(dx) > 10 || Math.abs(dy) > 10) {
        return;
      }
      var now = Date.now();
      if (now - lastTap > DOUBLE_TAP_MS) {
        lastTap = now;
        return;
      }
      lastTap = 0;
      event.preventDefault();
      zoomAt(doc, image, touch.clientX, touch.clientY);
    });
  }

  /* Toggles the zoom; zooming in brings the place under (x, y) of the fitted picture to the
     middle of the window. */
  function zoomAt(doc, image, x, y) {
    var box = image.getBoundingClientRect();
    var fitted = image.classList.contains("fitted");
    var fx = box.width > 0 ? (x - box.left) / box.width : 0.5;
    var fy = box.height > 0 ? (y - box.top) / box.height : 0.5;
    toggleZoom(doc);
    if (!fitted) {
      return;
    }
    /* object-fit leaves bands around the picture in the fitted box: measure in the picture. */
    var scale = Math.min(box.width / (image.naturalWidth || 1), box.height / (image.naturalHeight || 1));
    var shownWidth = (image.naturalWidth || 1) * scale;
    var shownHeight = (image.naturalHeight || 1) * scale;
    var px = ((fx * box.width) - (box.width - shownWidth) / 2) / shownWidth;
    var py = ((fy * box.height) - (box.height - shownHeight) / 2) / shownHeight;
    var win = windowOf(doc);
    win.scrollTo(Math.max(0, px * image.naturalWidth - win.innerWidth / 2),
                 Math.max(0, py * image.naturalHeight - win.innerHeight / 2));
  }

  function viewer(doc) {
    var image = doc.getElementById("viewerImage");
    if (!image) {
      return;
    }
    image.addEventListener("click", function () {
      toggleZoom(doc);
    });
    viewerButtons(doc);
    viewerTouch(doc, image);
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
/* ---------- Phones ---------- */

/*
 * Below WIDTH CSS pixels of the browser window the frames are laid out for a phone. Each
 * frame is a document of its own whose media queries would see the frame's width, not the
 * screen's (the menu frame of a desktop is narrower than a phone), so the top document
 * decides: it marks every document of the frame tree with the class "phone" on its root
 * element, which the style sheet's phone rules hang on, and it changes the rows and columns
 * of the frame sets: the title bar goes, the top bar and the status bar get the height of a
 * finger, and the main menu becomes a bar at the top of the area, opened by tapping it.
 * The frame sets of a module get rows that fit their upper frames' contents.
 * Every document asks the top document to fit the frames again once it has loaded, since a
 * frame set the server sends again comes with its desktop rows and columns.
 */
var VistrelPhone = (function () {
  "use strict";

  var WIDTH = 700;
  var BAR = 44;
  var menuOpen = false;

  function topWindow() {
    try {
      return window.top && window.top.VistrelPhone ? window.top : null;
    } catch (e) {
      return null; /* a top document of another origin */
    }
  }

  function isPhone() {
    return window.innerWidth > 0 && window.innerWidth < WIDTH;
  }

  function mark(doc, phone) {
    var root = doc && doc.documentElement;
    if (!root) {
      return;
    }
    if (phone) {
      VistrelScript.addClass(root, "phone");
    } else {
      VistrelScript.removeClass(root, "phone");
    }
    if (phone && menuOpen) {
      VistrelScript.addClass(root, "menuOpen");
    } else {
      VistrelScript.removeClass(root, "menuOpen");
    }
  }

  /* The frame set's own rows and columns, kept on its first change. */
  function desktop(set) {
    if (!set.vistrelDesktop) {
      set.vistrelDesktop = { rows: set.getAttribute("rows"), cols: set.getAttribute("cols") };
    }
    return set.vistrelDesktop;
  }

  function setLayout(set, rows, cols) {
    if (rows === null) {
      set.removeAttribute("rows");
    } else if (set.getAttribute("rows") !== rows) {
      set.setAttribute("rows", rows);
    }
    if (cols === null) {
      set.removeAttribute("cols");
    } else if (set.getAttribute("cols") !== cols) {
      set.setAttribute("cols", cols);
    }
  }

  function frameNamed(set, name) {
    for (var i = 0; i < set.children.length; i++) {
      var f = set.children[i];
      if (f.tagName === "FRAME" && f.getAttribute("name") === name) {
        return f;
      }
    }
    return null;
  }

  /* The height a frame's document needs to show all of its content. */
  function contentHeight(frame) {
    var doc = frame.contentDocument;
    if (!doc || !doc.body || doc.readyState === "loading") {
      return 0;
    }
    var bottom = 0;
    var children = doc.body.children;
    for (var i = 0; i < children.length; i++) {
      var r = children[i].getBoundingClientRect();
      if (r.height > 0 && r.bottom > bottom) {
        bottom = r.bottom;
      }
    }
    var view = doc.defaultView;
    var style = view.getComputedStyle(doc.body);
    return Math.ceil(bottom + (view.pageYOffset || 0) + (parseFloat(style.marginBottom) || 0));
  }

  /* A module's frame set: a row given in pixels fits its frame's content when the frame
     cannot scroll (titles and tabs), and otherwise keeps its height or less; the other rows
     share the rest. */
  function fitModule(set) {
    var rows = String(desktop(set).rows || "").split(",");
    var frames = [];
    for (var i = 0; i < set.children.length; i++) {
      if (set.children[i].tagName === "FRAME" || set.children[i].tagName === "FRAMESET") {
        frames.push(set.children[i]);
      }
    }
    var out = [];
    for (var j = 0; j < rows.length; j++) {
      var fixed = /^\s*\d+\s*$/.test(rows[j]);
      var given = parseInt(rows[j], 10);
      var frame = fixed && frames[j] && frames[j].tagName === "FRAME" ? frames[j] : null;
      var needed = frame ? contentHeight(frame) : 0;
      if (needed > given && String(frame.getAttribute("scrolling")).toLowerCase() !== "no") {
        needed = given;
      }
      out.push(!fixed ? "*" : String(needed > 0 ? needed : given));
    }
    setLayout(set, out.join(","), desktop(set).cols);
  }

  function layout(set, phone, inModule) {
    var own = desktop(set);
    if (!phone) {
      setLayout(set, own.rows, own.cols);
      return;
    }
    if (frameNamed(set, "statusbar") && frameNamed(set, "menu")) {
      /* The shell: no title bar; top bar and status bar a finger high. */
      setLayout(set, "0," + BAR + ",*," + BAR, own.cols);
    } else if (frameNamed(set, "left") && frameNamed(set, "right")) {
      /* The area: the main menu as a bar above the module, or over all of it when open. */
      setLayout(set, menuOpen ? "*,0" : BAR + ",*", "*");
    } else if (inModule && own.rows) {
      fitModule(set);
    }
  }

  function walk(win, phone, inModule) {
    var doc;
    try {
      doc = win.document;
    } catch (e) {
      return;
    }
    if (!doc) {
      return;
    }
    mark(doc, phone);
    var sets = doc.getElementsByTagName("frameset");
    for (var i = 0; i < sets.length; i++) {
      layout(sets[i], phone, inModule);
    }
    for (var j = 0; j < win.frames.length; j++) {
      var child = win.frames[j];
      var name = "";
      try {
        name = child.name;
      } catch (e) {
        continue;
      }
      walk(child, phone, inModule || name === "right");
    }
  }

  /* Lays out the whole frame tree for the width of the top window. */
  function fit() {
    var t = topWindow();
    if (t && t !== window) {
      t.VistrelPhone.fit();
      return;
    }
    walk(window, isPhone(), false);
  }

  function openMenu(open) {
    var t = topWindow();
    if (t && t !== window) {
      t.VistrelPhone.openMenu(open);
      return;
    }
    menuOpen = !!open;
    fit();
  }

  function phoneNow() {
    var t = topWindow();
    return t ? t.VistrelPhone.isPhone() : isPhone();
  }

  /* Tapping the selected entry of the main menu opens and closes the menu; choosing another
     entry loads a new menu page, which closes it. */
  function onMenuClick(event) {
    var node = event.target;
    while (node && node.tagName !== "TR") {
      node = node.parentNode;
    }
    if (!node || !phoneNow() || !/\bmenuSelected\b/.test(node.className)) {
      return;
    }
    var t = topWindow();
    openMenu(!(t && t.VistrelPhone.isMenuOpen()));
  }

  function onLoaded() {
    var body = document.body;
    if (body && /\bmenu\b/.test(body.className) && document.querySelector("table.menu")) {
      openMenu(false);
      document.addEventListener("click", onMenuClick, false);
    } else {
      fit();
    }
  }

  if (typeof document !== "undefined" && document.addEventListener && window.addEventListener) {
    /* Marked at once, so that a phone never shows the desktop style first. */
    mark(document, phoneNow());
    document.addEventListener("DOMContentLoaded", onLoaded, false);
    window.addEventListener("load", fit, false);
    if (window === window.top) {
      window.addEventListener("resize", fit, false);
    }
  }

  return {
    fit: fit,
    isPhone: isPhone,
    openMenu: openMenu,
    isMenuOpen: function () { return menuOpen; }
  };
})();

/* ---------- Many files at once (the own-images pages) ----------

   The upload form takes several files, and files dropped anywhere on its page. One file
   chosen in the form goes the plain way: the form is posted and the page that follows
   shows the new image for naming. Several files, or dropped ones, are sent from here one
   after the other, each as an upload of its own, with a progress bar per file. Each answer
   is the page the server shows after an upload: its line with data-upload-outcome tells
   what became of the file, and its upload form holds the address for the next one. When
   all are sent, the grid of the own images is shown once, with the summary above it.
   Without this script the form stays the plain form for one file. */
var VistrelUpload = (function () {
  "use strict";

  var SUMMARY = "vistrelUploadSummary";
  var SUMMARY_LIFE = 60000;
  var ACCEPTED = { stored: true, waiting: true };

  function usable(win) {
    return !!(win && win.XMLHttpRequest && win.FormData && win.DOMParser && win.JSON);
  }

  function uploadForm(doc) {
    return doc && doc.forms ? doc.forms.imageForm || null : null;
  }

  function attribute(element, name) {
    var value = element.getAttribute(name);
    return value === null ? "" : value;
  }

  function make(doc, tag, className, text) {
    var element = doc.createElement(tag);
    if (className) {
      element.className = className;
    }
    if (text !== undefined) {
      element.textContent = text;
    }
    return element;
  }

  /* The address of the next upload when an answer brings no upload form (at the image
     limit, or a failure): the last one with a request number of its own. The server hands
     out positive numbers only, so a negative one never repeats the action of a link. */
  function withRequestId(url, id) {
    return url.replace(/([?&]requestId=)-?[0-9]*/, "$1" + id);
  }

  /* A row of the progress table: the file's name, its bar and, once answered, the outcome. */
  function fileRow(doc, table, name, size) {
    var row = table.insertRow(-1);
    row.className = "uploadFile";
    row.insertCell(-1).textContent = name;
    var bar = make(doc, "PROGRESS");
    bar.max = size > 0 ? size : 1;
    bar.value = 0;
    row.insertCell(-1).appendChild(bar);
    var outcome = row.insertCell(-1);
    return {
      row: row,
      bar: bar,
      done: function (kind, message) {
        row.setAttribute("data-upload-outcome", kind);
        outcome.textContent = message;
        outcome.className = ACCEPTED[kind] ? "uploadOutcome" : "uploadOutcome uploadRefused";
        bar.value = bar.max;
      }
    };
  }

  /* What the answer to one upload says: its outcome and message, and the next address. */
  function readAnswer(win, xhr, texts) {
    var result = { outcome: "failed", message: texts.failed, next: null };
    if (xhr.status !== 200) {
      return result;
    }
    var answer = new win.DOMParser().parseFromString(xhr.responseText, "text/html");
    var line = answer.querySelector("[data-upload-outcome]");
    if (line) {
      result.outcome = attribute(line, "data-upload-outcome");
      result.message = line.textContent;
    }
    var next = uploadForm(answer);
    if (next) {
      result.next = attribute(next, "action");
    }
    return result;
  }

  function sendAll(form, fileList) {
    var doc = form.ownerDocument;
    var win = doc.defaultView;
    if (form.getAttribute("data-sending") || !fileList || fileList.length === 0) {
      return;
    }
    form.setAttribute("data-sending", "true");
    var files = Array.prototype.slice.call(fileList);
    var texts = {
      stored: attribute(form, "data-text-stored"),
      waiting: attribute(form, "data-text-waiting"),
      refused: attribute(form, "data-text-refused"),
      failed: attribute(form, "data-text-failed")
    };
    var button = form.querySelector("input[type=submit]");
    if (button) {
      button.disabled = true;
    }
    var panel = make(doc, "TABLE", "uploadProgress");
    form.parentNode.insertBefore(panel, form.nextSibling);
    var rows = files.map(function (file) {
      return fileRow(doc, panel, file.name, file.size);
    });
    var user = form.elements["Image.user"] ? form.elements["Image.user"].value : "";
    var url = attribute(form, "action");
    var ownNumber = -1;
    var results = [];

    function next(i) {
      if (i >= files.length) {
        finish(win, attribute(form, "data-grid"), texts, results);
        return;
      }
      var file = files[i];
      var row = rows[i];
      var xhr = new win.XMLHttpRequest();
      var answered = false;
      function answer() {
        if (answered) {
          return;
        }
        answered = true;
        var result = readAnswer(win, xhr, texts);
        url = result.next || withRequestId(url, --ownNumber);
        row.done(result.outcome, result.message);
        results.push({ name: file.name, size: file.size, outcome: result.outcome,
          message: result.message });
        next(i + 1);
      }
      xhr.upload.onprogress = function (event) {
        if (event.lengthComputable) {
          row.bar.max = event.total;
          row.bar.value = event.loaded;
        }
      };
      xhr.onload = answer;
      xhr.onerror = answer;
      xhr.onabort = answer;
      xhr.open("POST", url);
      var data = new win.FormData();
      data.append("Image.user", user);
      data.append("Image.file", file, file.name);
      xhr.send(data);
    }
    next(0);
  }

  /* Keeps the summary for the grid that is shown next, and shows it. */
  function finish(win, grid, texts, results) {
    try {
      win.sessionStorage.setItem(SUMMARY, JSON.stringify({ url: grid, at: Date.now(),
        texts: texts, files: results }));
    } catch (e) {
      /* Without storage the grid comes without the summary. */
    }
    if (grid) {
      win.location.replace(grid);
    } else {
      win.location.reload();
    }
  }

  /* The summary of the last files sent, above the grid they were sent for. */
  function showSummary(doc) {
    var win = doc.defaultView;
    var saved = null;
    try {
      saved = win.sessionStorage.getItem(SUMMARY);
    } catch (e) {
      return;
    }
    if (!saved || !doc.body) {
      return;
    }
    var summary = JSON.parse(saved);
    /* One left behind (the grid did not come, the session ended) is not shown much later. */
    if (!(Date.now() - summary.at < SUMMARY_LIFE)) {
      win.sessionStorage.removeItem(SUMMARY);
      return;
    }
    if (summary.url !== win.location.pathname + win.location.search) {
      return;
    }
    win.sessionStorage.removeItem(SUMMARY);
    var counts = { stored: 0, waiting: 0, refused: 0 };
    summary.files.forEach(function (file) {
      counts[ACCEPTED[file.outcome] ? file.outcome : "refused"]++;
    });
    var box = make(doc, "DIV", "uploadSummary");
    box.setAttribute("data-stored", counts.stored);
    box.setAttribute("data-waiting", counts.waiting);
    box.setAttribute("data-refused", counts.refused);
    box.appendChild(make(doc, "DIV", "message message_done", [
      summary.texts.stored + ": " + counts.stored,
      summary.texts.waiting + ": " + counts.waiting,
      summary.texts.refused + ": " + counts.refused
    ].join(" \u00B7 ")));
    var table = make(doc, "TABLE", "uploadProgress");
    box.appendChild(table);
    summary.files.forEach(function (file) {
      fileRow(doc, table, file.name, file.size).done(file.outcome, file.message);
    });
    doc.body.insertBefore(box, doc.body.firstChild);
  }

  function hasFiles(event) {
    var types = event.dataTransfer ? event.dataTransfer.types : null;
    return !!types && Array.prototype.indexOf.call(types, "Files") >= 0;
  }

  function start(doc) {
    showSummary(doc);
    var form = uploadForm(doc);
    var input = form ? form.elements["Image.file"] : null;
    if (!input) {
      return;
    }
    input.multiple = true;
    doc.addEventListener("submit", function (event) {
      if (event.target === form && input.files && input.files.length > 1) {
        event.preventDefault();
        sendAll(form, input.files);
      }
    }, false);
    doc.addEventListener("dragover", function (event) {
      if (hasFiles(event)) {
        event.preventDefault();
        doc.body.classList.add("dropTarget");
      }
    }, false);
    doc.addEventListener("dragleave", function (event) {
      if (!event.relatedTarget) {
        doc.body.classList.remove("dropTarget");
      }
    }, false);
    doc.addEventListener("drop", function (event) {
      doc.body.classList.remove("dropTarget");
      if (event.dataTransfer && event.dataTransfer.files && event.dataTransfer.files.length > 0) {
        event.preventDefault();
        sendAll(form, event.dataTransfer.files);
      }
    }, false);
  }

  if (typeof document !== "undefined" && document.addEventListener && usable(document.defaultView)) {
    document.addEventListener("DOMContentLoaded", function () { start(document); }, false);
  }

  return { withRequestId: withRequestId, sendAll: sendAll };
})();
