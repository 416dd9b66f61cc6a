// The walk through the interface in a real browser: a list of steps, run in order in one
// browser against one server. Each step acts like a person (types, clicks), waits for the
// frames to show the result, checks what it sees, and is then photographed.
//
// Every module is built, so a part that does not answer fails the walk: a module whose
// page the server answers with an empty document, or an action that leaves the page as it
// was ("not built: ..."). While a part is being built, VISTREL_BROWSER_STRICT=0 records
// such parts with walk.pending() and skips them and the steps that need them; everything
// that answers is still checked.
//
// To extend the walk, add steps to STEPS (or to the module table): a step is
// { name, title, run(walk), requires }; run returns false when there is nothing to
// photograph, or the walk (walk.second()) whose browser shows the result; requires names
// the modules (by id) that the step cannot do without.
"use strict";

const fs = require("node:fs");
const path = require("node:path");
const { launch, until, child, settle } = require("./browser.js");
const { readPairs } = require("./vistrel.js");
const { MODULES, ADMIN, GUEST, decode, squash, exactly, step } = require("./common.js");

class Walk {
  // browser: { page, context, close } from browser.launch; relaunch: a function that
  // starts a fresh browser (used when a logout is not built yet).
  constructor(server, browser, relaunch, options = {}) {
    this.server = server;
    this.browser = browser;
    this.relaunch = relaunch;
    this.options = options;
    this.log = options.log || ((line) => console.log(`# ${line}`));
    this.pendingParts = [];
    this.missing = new Set();
    this.other = null;
    const config = path.join(server.root, "config");
    this.languages = readPairs(path.join(config, "languages.cfg"));
    const settings = new Map(readPairs(path.join(config, "config.cfg")));
    this.defaultLanguage = settings.get("session.defaultLanguage");
    this.texts = {};
    this.introductions = {};
    for (const [code] of this.languages) {
      this.texts[code] = new Map(readPairs(path.join(config, `translations.${code}`))
        .map(([k, v]) => [k, squash(decode(v))]));
      const intro = fs.readFileSync(path.join(server.root, "web", code, "introduction.html"), "latin1");
      const h1 = /<H1>([\s\S]*?)<\/H1>/i.exec(intro);
      this.introductions[code] = h1 ? squash(decode(h1[1])) : null;
    }
    this.language = this.defaultLanguage;
    this.user = null;
    this.problems = [];
    this.watched = null;
  }

  // A walk in a freshly launched browser (options.browserOptions go to browser.launch),
  // which relaunches it the same way.
  static async open(server, options = {}) {
    const walk = new Walk(server, await launch(options.browserOptions), async () => {
      await walk.browser.close();
      walk.browser = await launch(options.browserOptions);
    }, options);
    return walk;
  }

  get page() { return this.browser.page; }

  // A second person at another computer: a walk of its own in a browser of its own,
  // against the same server. Made on first use, closed with this walk.
  async second() {
    if (!this.other) {
      const other = await Walk.open(this.server, this.options);
      // What is not built yet is not built for either person.
      other.missing = this.missing;
      other.pendingParts = this.pendingParts;
      this.other = other;
      other.watch();
    }
    return this.other;
  }

  // Closes the browsers of this walk and of the second person.
  async close() {
    try {
      if (this.other) await this.other.close();
    } finally {
      this.other = null;
      await this.browser.close();
    }
  }

  // Script errors and failed loads of any frame, collected since the last call. A new
  // browser (after relaunch) is watched from its first page on.
  watch() {
    if (this.other) this.other.watch();
    const page = this.page;
    if (this.watched === page) return;
    this.watched = page;
    page.on("pageerror", (error) => this.problems.push(`script error: ${error.message}`));
    page.on("console", (message) => {
      const where = message.location().url || "";
      // The server answers every /favicon.ico with 404 by design.
      if (message.type() !== "error" || new URL(where, "http://x/").pathname === "/favicon.ico") return;
      this.problems.push(`console: ${message.text()} (${where})`);
    });
    page.on("request", (request) => {
      // Passwords go in a posted body, never in a URL (proxies log URLs, browsers keep them).
      if (/[?&](User\.)?password[12]?=/i.test(request.url())) {
        this.problems.push(`password in a URL: ${request.url()}`);
      }
    });
    page.on("requestfailed", (request) => {
      const failure = request.failure();
      // Loads that a following navigation cancels are no fault of the page.
      if (failure && failure.errorText !== "net::ERR_ABORTED") {
        this.problems.push(`request failed: ${request.url()} (${failure.errorText})`);
      }
    });
  }

  takeProblems() {
    const problems = this.problems;
    this.problems = [];
    return this.other ? problems.concat(this.other.takeProblems()) : problems;
  }

  // The text of a translation key in the session's language.
  t(key, language = this.language) {
    const text = this.texts[language].get(key);
    if (text === undefined) throw new Error(`no text for ${key} in ${language}`);
    return text;
  }

  languageName(code) {
    const entry = this.languages.find(([c]) => c === code);
    return entry ? entry[1] : code;
  }

  pending(what, module) {
    if (module !== undefined) this.missing.add(module);
    this.pendingParts.push(what);
    this.log(`not built yet: ${what}`);
    if (process.env.VISTREL_BROWSER_STRICT !== "0") throw new Error(`not built: ${what}`);
  }

  // The frames of the logged-in shell, or null while it is not (yet) there. The shell is
  // the frame set whose child is the status bar; a login and a language change rebuild it
  // one level deeper, so it is found by its children, not by its place.
  shell() {
    const statusbar = this.page.frames().find((f) => f.name() === "statusbar" && !f.isDetached());
    if (!statusbar) return null;
    const frame = statusbar.parentFrame();
    const area = child(frame, "area");
    const s = { frame, statusbar, title: child(frame, "title"), menu: child(frame, "menu"), area,
      left: child(area, "left"), right: child(area, "right") };
    return s.title && s.menu && s.left && s.right ? s : null;
  }

  async waitForShell(previous) {
    return until("the frames of the logged-in shell", async () => {
      const s = this.shell();
      if (!s || (previous && s.statusbar.url() === previous)) return null;
      for (const f of [s.title, s.menu, s.left, s.right, s.statusbar]) {
        if (await f.evaluate(() => document.readyState) !== "complete") return null;
      }
      return s;
    });
  }

  // The frame showing the login form, or null.
  loginFrame() {
    for (const f of this.page.frames()) {
      if (f.isDetached() || f.name() !== "submain") continue;
      if (f.childFrames().length === 0 && /[?&]page=1(&|$)/.test(f.url())) return f;
    }
    return null;
  }

  // The frame showing the login form once the form is there, or null.
  async loginReady() {
    const f = this.loginFrame();
    if (!f) return null;
    return (await f.locator("form[name=Login] input[name=username]").count()) === 1 ? f : null;
  }

  async waitForLogin() {
    return until("the login page", () => this.loginReady());
  }

  // The entries of the main menu: [{ text, selected, url }], url being the module's page.
  async menu(shell) {
    return shell.left.evaluate(() => Array.from(document.querySelectorAll("tr.menu, tr.menuSelected"))
      .map((tr) => {
        const m = /mouseClick2\(this,parent\.right,'([^']*)'/.exec(tr.getAttribute("onclick") || "");
        return { text: tr.innerText.replace(/\s+/g, " ").trim(),
          selected: tr.className === "menuSelected", url: m ? m[1] : null };
      }));
  }

  async innerText(frame, selector = "body") {
    return squash(await frame.locator(selector).first().innerText());
  }

  // Whether the server answers a page itself: a page id that no part of the server claims
  // yet comes back as an empty document.
  async answered(url) {
    const response = await this.page.context().request.get(this.server.url + url);
    if (response.status() !== 200) throw new Error(`${url} answered ${response.status()}`);
    return !/^<HTML>\s*<BODY>\s*<\/BODY>\s*<\/HTML>\s*$/i.test(await response.text());
  }

  // Checks the shell of a logged-in user: names, menu entries, status bar, introduction.
  async checkShell(shell, user, selectedKey) {
    const expectText = async (frame, selector, text) => {
      const shown = await this.innerText(frame, selector);
      if (shown !== text) throw new Error(`${frame.name()} ${selector}: "${shown}", expected "${text}"`);
    };
    await expectText(shell.menu, "td.topBar >> nth=0", user.name);
    await expectText(shell.menu, "td.topBar >> nth=1", this.t("MENU_HELP"));
    await expectText(shell.menu, "td.topBar >> nth=2", this.t("MENU_LOGOUT"));

    const entries = await this.menu(shell);
    const expected = MODULES.filter((m) => m.shownTo(user)).map((m) => this.t(m.key));
    const shown = entries.map((e) => e.text);
    if (JSON.stringify(shown) !== JSON.stringify(expected)) {
      throw new Error(`main menu ${JSON.stringify(shown)}, expected ${JSON.stringify(expected)}`);
    }
    const selected = entries.filter((e) => e.selected).map((e) => e.text);
    if (selected.length !== 1 || selected[0] !== this.t(selectedKey)) {
      throw new Error(`selected menu entries ${JSON.stringify(selected)}, expected ${this.t(selectedKey)}`);
    }

    // The status bar offers every other language, and a centred text cell.
    const offered = await shell.statusbar.locator("td.statusBar[onclick]").allInnerTexts();
    const others = this.languages.filter(([c]) => c !== this.language).map(([, name]) => name);
    if (JSON.stringify(offered.map(squash).slice(0, others.length)) !== JSON.stringify(others)) {
      throw new Error(`status bar offers ${JSON.stringify(offered)}, expected ${JSON.stringify(others)}`);
    }
    if ((await shell.statusbar.locator("td.statusBar[width='300']").count()) !== 1) {
      throw new Error("the status bar has no centred text cell");
    }

    // The style sheet and the script arrived and apply.
    const styled = await shell.title.evaluate(() =>
      getComputedStyle(document.body).backgroundImage.includes("gradient"));
    if (!styled) throw new Error("the title bar is not styled: /style.css missing?");
    const scripted = await shell.left.evaluate(() =>
      typeof mouseClick2 === "function" && typeof mouseOver === "function");
    if (!scripted) throw new Error("the menu has no script functions: /scripts.js missing?");
  }

  async checkIntroduction(shell) {
    const h1 = await this.innerText(shell.right, "h1");
    if (h1 !== this.introductions[this.language]) {
      throw new Error(`introduction shows "${h1}", expected "${this.introductions[this.language]}"`);
    }
  }

  // Logs in through the login page: either by typing the user's name and password and
  // pressing the login button, or by pressing the guest button.
  async logIn(user, useGuestButton) {
    const login = await this.waitForLogin();
    if (useGuestButton) {
      await login.locator("td.loginButton", { hasText: exactly(this.t("BUTTON_GUEST_LOGIN")) }).click();
    } else {
      await login.locator("input[name=username]").click();
      await login.locator("input[name=username]").pressSequentially(user.username);
      await login.locator("input[name=password]").click();
      await login.locator("input[name=password]").pressSequentially(user.password);
      await login.locator("td.loginButton", { hasText: exactly(this.t("BUTTON_LOGIN")) }).click();
    }
    const shell = await this.waitForShell();
    this.user = user;
    await this.checkShell(shell, user, "MENU_INTRODUCTION");
    await this.checkIntroduction(shell);
  }

  // Types a name and a wrong password: the login page comes back with the failed-login
  // message, and no URL the browser was sent to holds the password.
  async failLogIn(user, wrongPassword) {
    const urls = [];
    const onRequest = (request) => urls.push(request.url());
    this.page.on("request", onRequest);
    try {
      const login = await this.waitForLogin();
      await login.locator("input[name=username]").fill(user.username);
      await login.locator("input[name=password]").fill(wrongPassword);
      await login.locator("td.loginButton", { hasText: exactly(this.t("BUTTON_LOGIN")) }).click();
      const want = this.t("MESSAGE_LOGIN_FAILED");
      await until("the failed-login message", async () => {
        const f = await this.loginReady();
        if (!f) return false;
        const cells = f.locator("td.loginMessage");
        return (await cells.count()) === 1 && squash(await cells.innerText()) === squash(want);
      });
    } finally {
      this.page.off("request", onRequest);
    }
    const leaked = urls.filter((u) => u.includes(encodeURIComponent(wrongPassword)) || u.includes(wrongPassword));
    if (leaked.length > 0) throw new Error(`the password stands in ${leaked.join(", ")}`);
  }

  // Opens a module from the main menu. Returns false when the module is not built yet.
  async openModule(module) {
    const shell = await this.waitForShell();
    const text = this.t(module.key);
    const entry = (await this.menu(shell)).find((e) => e.text === text);
    if (!entry) throw new Error(`the main menu has no entry ${text}`);
    if (!entry.selected && !(await this.answered(entry.url))) {
      this.pending(`module ${module.id} (${text})`, module.id);
      return false;
    }
    const row = shell.left.locator("tr.menu, tr.menuSelected", { hasText: exactly(text) }).first();
    // The selected entry is no link: the module stays on the page it shows, one of its own.
    const family = (url) => {
      const m = /[?&]page=(\d+)(&|$)/.exec(url);
      return m && (entry.selected ? Math.floor(Number(m[1]) / 100) * 100 : Number(m[1])) === module.id;
    };
    if (!entry.selected) {
      // On a phone the menu is a bar showing the module: tapped, it opens.
      if (!(await row.isVisible())) await this.openMenuBar(shell);
      await row.hover();
      await until(`the hover mark on ${text}`, async () =>
        (await row.getAttribute("class")).split(/\s+/).includes("hover"));
      await row.click();
    }
    await until(`module ${module.id} in the right frame and selected in the menu`, async () => {
      const s = this.shell();
      if (!s || !family(s.right.url())) return false;
      const menu = await this.menu(s);
      return menu.some((e) => e.selected && e.text === text);
    });
    const now = this.shell();
    await until(`the frames of module ${module.id}`, async () => {
      const names = now.right.childFrames().map((f) => f.name());
      return module.frames.every((n) => names.includes(n));
    });
    if (module.id === 600) await this.checkIntroduction(now);
    return true;
  }

  // Opens the main menu that a phone shows as a bar: a tap on the selected entry.
  async openMenuBar(shell) {
    await shell.left.locator("tr.menuSelected").click();
    await until("the open main menu", async () => {
      const s = this.shell();
      return s && (await s.left.locator("tr.menu").first().isVisible());
    });
  }

  // Clicks a cell of the shell and waits until the shell or the login page is rebuilt.
  // Returns "shell" or "login".
  async clickAndWait(frame, selector, text) {
    const before = this.shell().statusbar.url();
    await frame.locator(selector, { hasText: exactly(text) }).first().click();
    return until(`the page after clicking ${text}`, async () => {
      if (!this.shell() && await this.loginReady()) return "login";
      const s = this.shell();
      return s && s.statusbar.url() !== before ? "shell" : null;
    });
  }

  async logOut() {
    const result = await this.clickAndWait(this.shell().menu, "td.topBar", this.t("MENU_LOGOUT"));
    this.user = null;
    this.language = this.defaultLanguage;
    if (result !== "login") {
      this.pending("logout (action 17)");
      // A new browser: no cookie and no connection that the server knows.
      await this.relaunch();
      await this.page.goto(this.server.url + "/");
    }
    await this.checkLoginMessage("MESSAGE_LOGGED_OUT");
    await this.checkLoginPage();
  }

  // The login page fills the whole window (no frame of the shell around it) and its message
  // line says the text of _key.
  async checkLoginMessage(key) {
    let shown = null;
    await until(`the login page of the whole window saying "${this.t(key)}"`, async () => {
      const login = await this.loginReady();
      if (!login || login.parentFrame() !== this.page.mainFrame()) return false;
      shown = (await login.locator("td.loginMessage").allInnerTexts()).map(squash);
      return JSON.stringify(shown) === JSON.stringify([this.t(key)]);
    }).catch((e) => {
      throw new Error(`${e.message}; it says ${JSON.stringify(shown)}`);
    });
  }

  // Presses Tab until the focus rests on an element for which test (run in each frame with
  // arg) is true; returns that frame.
  async tabTo(what, test, arg, presses = 80) {
    for (let i = 0; i < presses; i++) {
      await this.page.keyboard.press("Tab");
      for (const f of this.page.frames()) {
        if (f.isDetached()) continue;
        const hit = await f.evaluate(test, arg).catch(() => false);
        if (hit) return f;
      }
    }
    throw new Error(`${presses} presses of Tab did not reach ${what}`);
  }

  async checkLoginPage() {
    const login = await this.waitForLogin();
    const labels = (await login.locator("td.loginLabel").allInnerTexts()).map(squash);
    const want = [this.t("LABEL_USERNAME"), this.t("LABEL_PASSWORD")];
    if (JSON.stringify(labels) !== JSON.stringify(want)) {
      throw new Error(`login labels ${JSON.stringify(labels)}, expected ${JSON.stringify(want)}`);
    }
    const buttons = (await login.locator("td.loginButton").allInnerTexts()).map(squash);
    const wantButtons = [this.t("BUTTON_LOGIN"), this.t("BUTTON_GUEST_LOGIN")];
    if (JSON.stringify(buttons) !== JSON.stringify(wantButtons)) {
      throw new Error(`login buttons ${JSON.stringify(buttons)}, expected ${JSON.stringify(wantButtons)}`);
    }
    const caption = await this.innerText(login, "tr.loginCaption");
    if (caption !== "Vistrel") throw new Error(`login caption "${caption}"`);
    const focused = await login.evaluate(() => document.activeElement && document.activeElement.name);
    if (focused !== "username") throw new Error(`the login page focuses "${focused}", not the user name`);
  }
}

// The module visits of one user: every module the user's menu shows, then back to the
// introduction.
function moduleSteps(who, user, titleOf) {
  const visits = MODULES.filter((m) => m.id !== 600 && m.shownTo(user)).map((m) =>
    step(`${who}-${m.shot}`, `${titleOf} opens module ${m.id}`, (w) => w.openModule(m)));
  visits.push(step(`${who}-introduction`, `${titleOf} returns to the introduction`,
    (w) => w.openModule(MODULES[0])));
  return visits;
}

const TOUR = [
  step("login-page", "The first page is the login page", async (w) => {
    await w.page.goto(w.server.url + "/");
    await w.checkLoginPage();
  }),

  step("failed-login", "A wrong password brings the login page back with a message", async (w) => {
    await w.failLogIn(ADMIN, "not-" + ADMIN.password);
  }),

  step("admin-login", "The administrator logs in by typing name and password", async (w) => {
    await w.logIn(ADMIN, false);
  }),

  ...moduleSteps("admin", ADMIN, "The administrator"),

  step("help", "Help opens the user manual of the session's language", async (w) => {
    const shell = w.shell();
    const context = w.page.context();
    // The new window asks for the manual; headless chromium may then treat it as a download.
    const asked = [];
    const onRequest = (request) => {
      if (/\.pdf$/i.test(new URL(request.url()).pathname)) asked.push(request.url());
    };
    context.on("request", onRequest);
    const [popup] = await Promise.all([
      context.waitForEvent("page"),
      shell.menu.locator("td.topBar", { hasText: exactly(w.t("MENU_HELP")) }).click(),
    ]);
    try {
      await until("the help window's request", () => asked.length > 0);
    } finally {
      context.off("request", onRequest);
      await popup.close();
    }
    const opened = new URL(asked[0]).pathname;
    const expected = `/${w.language}/User_manual_1_0.pdf`;
    if (opened !== expected) throw new Error(`help opened ${opened}, expected ${expected}`);
    const response = await w.page.context().request.get(w.server.url + expected);
    const body = await response.body();
    if (response.headers()["content-type"] !== "application/pdf" ||
        body.subarray(0, 5).toString("latin1") !== "%PDF-" || body.length < 10000) {
      throw new Error(`${expected} is no user manual (${response.headers()["content-type"]}, ` +
        `${body.length} bytes)`);
    }
    return false;
  }),

  step("language", "The status bar switches the interface to the other language", async (w) => {
    const other = w.languages.map(([c]) => c).find((c) => c !== w.language);
    const result = await w.clickAndWait(w.shell().statusbar, "td.statusBar", w.languageName(other));
    if (result !== "shell") throw new Error("the language change left the shell");
    const shell = await w.waitForShell();
    const intro = w.t("MENU_INTRODUCTION", other);
    const entries = (await w.menu(shell)).map((e) => e.text);
    if (!entries.includes(intro)) {
      if (entries.includes(w.t("MENU_INTRODUCTION"))) {
        w.pending("change of language (action 19)");
        return false;
      }
      throw new Error(`after the language change the menu shows ${JSON.stringify(entries)}`);
    }
    w.language = other;
    await w.checkShell(shell, w.user, "MENU_INTRODUCTION");
    await w.checkIntroduction(shell);
  }),

  step("back-module", "One Back after a module change takes menu and module back together", async (w) => {
    const folders = MODULES.find((m) => m.id === 400);
    const search = MODULES.find((m) => m.id === 700);
    await w.openModule(folders);
    await w.openModule(search);
    await w.page.evaluate(() => history.back());
    const inStep = async () => {
      const s = w.shell();
      if (!s || !/[?&]page=400(&|$)/.test(s.right.url())) return false;
      const selected = (await w.menu(s)).filter((e) => e.selected).map((e) => e.text);
      return JSON.stringify(selected) === JSON.stringify([w.t(folders.key)]);
    };
    await until("the folder module and its menu entry after one Back", inStep);
    // And they stay in step.
    await new Promise((resolve) => setTimeout(resolve, 700));
    if (!(await inStep())) throw new Error("menu and module parted after Back");
  }),

  step("logout", "Logging out leads back to the login page", (w) => w.logOut()),

  step("back-after-logout", "Back after the log-out shows no page of the user who left", async (w) => {
    await w.page.evaluate(() => history.back());
    await new Promise((resolve) => setTimeout(resolve, 1000));
    await until("the login page after Back", async () => !w.shell() && await w.loginReady());
    for (const f of w.page.frames()) {
      const text = await f.evaluate(() => document.body ? document.body.innerText : "").catch(() => "");
      if (text.includes(ADMIN.name)) throw new Error(`after Back a frame shows ${ADMIN.name}: ${f.url()}`);
    }
    await w.checkLoginPage();
  }),

  step("keyboard", "Login, main menu and a module work with the keyboard alone", async (w) => {
    await w.waitForLogin();
    // The login page puts the focus into the user name.
    await w.page.keyboard.type(ADMIN.username);
    await w.page.keyboard.press("Tab");
    await w.page.keyboard.type(ADMIN.password);
    const login = await w.tabTo("the login button", () =>
      !!document.activeElement && document.activeElement.classList.contains("loginButton"));
    // The focus is plain to see.
    const ring = await login.evaluate(() => getComputedStyle(document.activeElement).outlineStyle);
    if (ring === "none") throw new Error("the focused login button shows no focus ring");
    await w.page.keyboard.press("Enter");
    const shell = await w.waitForShell();
    w.user = ADMIN;
    await w.checkShell(shell, ADMIN, "MENU_INTRODUCTION");

    // Enter on a menu entry opens its module.
    const users = MODULES.find((m) => m.id === 300);
    await w.tabTo(`the menu entry ${w.t(users.key)}`, (text) => !!document.activeElement &&
      document.activeElement.tagName === "TR" && document.activeElement.innerText.trim() === text,
    w.t(users.key));
    await w.page.keyboard.press("Enter");
    await until("the user administration after Enter", async () => {
      const s = w.shell();
      if (!s || !/[?&]page=300(&|$)/.test(s.right.url())) return false;
      const names = s.right.childFrames().map((f) => f.name());
      return names.includes("list") && names.includes("info") &&
        (await w.menu(s)).some((e) => e.selected && e.text === w.t(users.key));
    });
    // Space on a row of the list shows that account's form.
    await w.tabTo("the row of the guest account", (name) => !!document.activeElement &&
      document.activeElement.classList.contains("userList") &&
      document.activeElement.innerText.includes(name), "Guest, User");
    await w.page.keyboard.press(" ");
    await until("the guest account's form after Space", async () => {
      const info = child(w.shell().right, "info");
      return info && await info.evaluate(() => !!document.forms.User &&
        document.forms.User.elements.lastname.value === "Guest").catch(() => false);
    });
  }),

  step("keyboard-logout", "The administrator logs out again", (w) => w.logOut()),

  step("guest-login", "The guest button logs in the guest account", (w) => w.logIn(GUEST, true)),

  ...moduleSteps("guest", GUEST, "The guest"),

  step("guest-logout", "The guest logs out", (w) => w.logOut()),
];

// The tour of every module, then the stories of two people at two browsers and their
// uploads of many files at once, and a visitor in the viewer.
const STEPS = [...TOUR, ...require("./stories.js").STEPS, ...require("./uploads.js").STEPS,
  ...require("./viewer.js").STEPS];
// The manual finds its pictures by step name.
for (const [i, s] of STEPS.entries()) {
  if (STEPS.findIndex((o) => o.name === s.name) !== i) throw new Error(`two steps are named ${s.name}`);
}

// Runs one step (the index-th, from 1) and photographs the result into
// shots/NN-name.png; a failed step is photographed as NN-name-failed.png and rethrown.
// Returns "pending" when the step needs a module that is not built yet.
async function runStep(walk, s, index, shots) {
  const file = path.join(shots, `${String(index).padStart(2, "0")}-${s.name}`);
  const lacking = (s.requires || []).filter((id) => walk.missing.has(id));
  if (lacking.length) {
    walk.pending(`${s.title} (needs module ${lacking.join(", ")})`);
    return "pending";
  }
  let shown = walk;
  try {
    walk.watch();
    const result = await s.run(walk);
    if (result instanceof Walk) shown = result;
    if (result !== false) {
      await settle(shown.page);
      await shown.page.screenshot({ path: `${file}.png` });
    }
    const problems = walk.takeProblems();
    if (problems.length) throw new Error(`the browser reported:\n  ${problems.join("\n  ")}`);
    return "done";
  } catch (error) {
    for (const [who, w] of [["", walk], ["-second", walk.other]]) {
      try {
        if (w) await w.page.screenshot({ path: `${file}${who}-failed.png` });
      } catch (e) { /* the browser may be gone */ }
    }
    throw error;
  }
}

// Runs all steps (the walk's unless others are given) in order but those named in skip;
// the first failure ends the walk.
async function runWalk(walk, shots, skip = [], steps = STEPS) {
  fs.mkdirSync(shots, { recursive: true });
  let index = 0;
  for (const s of steps) {
    index++;
    if (!skip.includes(s.name)) await runStep(walk, s, index, shots);
  }
}

module.exports = { Walk, STEPS, MODULES, ADMIN, GUEST, runStep, runWalk, decode };
