// The browser test of the interface on a phone, run by ctest:
//     node phone_test.js <source-dir> <build-dir>
// A fresh demo root and server as for the walk, a browser that behaves as a phone of
// 390 x 844 CSS pixels (the page's viewport declaration counts, taps are touches), and the
// walk's tour of the modules, then a user who uploads pictures and searches them. After
// every step each frame is checked: no element reaches beyond the screen's width and every
// element that can be tapped is at least 44 pixels high. The screenshots of the steps go
// to <build-dir>/screenshots-phone. The user manual takes its phone pictures from the same
// steps (scripts/make-manual.js requires this file for them).
"use strict";

const assert = require("node:assert");
const path = require("node:path");
const { until } = require("./browser.js");
const { walkSteps } = require("./harness.js");
const { MODULES, ADMIN, step } = require("./common.js");
const { moduleById, framesNow, actReloading, images } = require("./modules.js");
const { ANNA, account, createAccount, uploadPicture, state } = require("./stories.js");

const PHONE = { viewport: { width: 390, height: 844 }, mobile: true };
const TAP = 44;

// What each frame of the page breaks of the phone layout: elements beyond the frame's
// width, and things to tap that are less than TAP pixels high.
async function layoutProblems(page) {
  const problems = [];
  for (const frame of page.frames()) {
    if (frame.isDetached()) continue;
    let found;
    try {
      found = await frame.evaluate((tap) => {
        const out = [];
        const root = document.documentElement;
        // Frame sets have no content of their own; a frame the layout hides has no width.
        if (!document.body || document.body.tagName === "FRAMESET" || root.clientWidth === 0 ||
            window.innerHeight === 0) {
          return out;
        }
        const width = root.clientWidth;
        const describe = (el) => {
          const text = (el.innerText || el.value || el.getAttribute("src") || "").replace(/\s+/g, " ").trim();
          return `<${el.tagName.toLowerCase()}${el.className ? " class=" + el.className : ""}> "${text.slice(0, 30)}"`;
        };
        if (root.scrollWidth > width + 1) out.push(`the page is ${root.scrollWidth} pixels wide, the screen ${width}`);
        for (const el of document.body.querySelectorAll("*")) {
          const r = el.getBoundingClientRect();
          if (r.width === 0 || r.height === 0 || getComputedStyle(el).visibility === "hidden") continue;
          if (r.left < -1 || r.right > width + 1) {
            out.push(`${describe(el)} spans ${Math.round(r.left)}..${Math.round(r.right)} of ${width}`);
          }
          const tappable = el.matches("[onclick], a[href], button, select, textarea, " +
            "input:not([type=hidden]), label[for]");
          if (tappable && r.height < tap - 0.5) out.push(`${describe(el)} is ${r.height.toFixed(1)} pixels high`);
        }
        return out;
      }, TAP);
    } catch (e) {
      continue; // the frame went away while it was read
    }
    for (const p of found) problems.push(`${frame.name() || "top"}: ${p}`);
  }
  return problems;
}

// A step of the walk, then the layout check of what it shows.
function phoneStep(name, title, run) {
  return step(`phone-${name}`, title, async (w) => {
    const result = await run(w);
    const shown = result && result.page ? result : w;
    const problems = await layoutProblems(shown.page);
    if (problems.length) throw new Error(`the phone layout breaks:\n  ${problems.join("\n  ")}`);
    return result;
  });
}

// The tiles of the image grid in the area frame: their boxes in the frame.
async function tiles(w) {
  const { area } = await framesNow(w, ["area"]);
  return area.evaluate(() => Array.from(document.querySelectorAll("table[width='160']")).map((t) => {
    const r = t.getBoundingClientRect();
    return { left: r.left, top: r.top, width: r.width, screen: document.documentElement.clientWidth };
  }));
}

// Two tiles a row, each at least a third of the screen wide.
async function expectTwoColumns(w, count) {
  const boxes = await tiles(w);
  if (boxes.length !== count) throw new Error(`the grid shows ${boxes.length} tiles, expected ${count}`);
  const rows = [...new Set(boxes.map((b) => Math.round(b.top)))];
  if (rows.length !== Math.ceil(count / 2)) {
    throw new Error(`the grid's ${count} tiles stand in ${rows.length} rows: ${JSON.stringify(boxes)}`);
  }
  if (boxes.some((b) => b.width < b.screen / 3)) throw new Error(`tiles too small: ${JSON.stringify(boxes)}`);
}

function tour(who, user, titleOf) {
  return MODULES.filter((m) => m.id !== 600 && m.shownTo(user)).map((m) =>
    phoneStep(`${who}-${m.shot}`, `${titleOf} opens module ${m.id} on the phone`, (w) => w.openModule(m)));
}

const STEPS = [
  phoneStep("login-page", "The login page fits the phone", async (w) => {
    await w.page.goto(w.server.url + "/");
    await w.checkLoginPage();
  }),
  phoneStep("admin-login", "The administrator logs in; the menu is a bar at the top", async (w) => {
    await w.logIn(ADMIN, false);
    const shell = w.shell();
    if (await shell.left.locator("tr.menu").first().isVisible()) throw new Error("the main menu is open");
    const bar = await shell.left.evaluate(() => window.innerHeight);
    if (bar > 60) throw new Error(`the menu bar is ${bar} pixels high`);
  }),
  phoneStep("menu-open", "A tap on the bar opens the main menu", async (w) => {
    const shell = w.shell();
    await w.openMenuBar(shell);
    const shown = (await w.menu(shell)).map((e) => e.text);
    if (shown.length < 5) throw new Error(`the open menu shows ${JSON.stringify(shown)}`);
  }),
  ...tour("admin", ADMIN, "The administrator"),
  phoneStep("account", "The administrator creates an account with the upload right", async (w) => {
    await createAccount(w, ANNA, true);
  }),
  phoneStep("logout", "The administrator logs out", (w) => w.logOut()),
  phoneStep("user-login", "The new user logs in", (w) => w.logIn(account(w, ANNA), false)),
  phoneStep("upload", "The user uploads three pictures and describes them", async (w) => {
    for (const key of ["harbour", "heron", "gull"]) await uploadPicture(w, w, key);
  }),
  phoneStep("own-grid", "The own images stand two a row", async (w) => {
    await images.backToGrid(w, "area");
    await expectTwoColumns(w, 3);
  }),
  phoneStep("search", "The search finds the birds, two a row", async (w) => {
    await w.openModule(moduleById(700));
    const { menu } = await framesNow(w, ["menu"]);
    const field = menu.locator("form[name=Search] input[name=words]");
    await field.fill("BIRD");
    await actReloading(w, () => menu.locator("#searchButton").click(), ["menu", "area"], "the search");
    await expectTwoColumns(w, 2);
    const found = (await images.cells((await framesNow(w, ["area"])).area)).map((c) => c.id).sort();
    const { heron, gull } = state(w).images;
    assert.deepStrictEqual(found, [heron, gull].sort());
  }),
  phoneStep("detail", "A found image opens above its attributes", async (w) => {
    const detail = await images.openDetail(w, "area", state(w).images.heron);
    const shown = await images.details(detail);
    if (shown[w.t("LABEL_IMAGE_NAME")] !== "Grey heron") throw new Error(`the detail shows ${JSON.stringify(shown)}`);
  }),
  ...tour("user", { id: -1, administrator: false, folderAdmin: ANNA.folderAdmin }, "The user"),
  phoneStep("user-logout", "The user logs out", (w) => w.logOut()),
  step("phone-desktop-again", "A wide window shows the desktop frames again", async (w) => {
    await w.logIn(ADMIN, false);
    await w.page.setViewportSize({ width: 1280, height: 800 });
    const shell = await w.waitForShell();
    await until("the desktop frames", async () =>
      (await shell.left.evaluate(() => !document.documentElement.classList.contains("phone"))) &&
      (await shell.frame.evaluate(() => document.querySelector("frameset").getAttribute("rows"))) === "80,29,70%,29");
    await w.logOut();
    return false;
  }),
];

module.exports = { PHONE, STEPS };

if (require.main === module) {
  const test = require("node:test");
  const source = path.resolve(process.argv[2] || path.join(__dirname, "..", ".."));
  const build = path.resolve(process.argv[3] || path.join(source, "build", "release"));
  const shots = path.join(build, "screenshots-phone");
  test("the interface on a phone", { timeout: 280000 }, async (t) => {
    await walkSteps(t, { source, build, shots, steps: STEPS, browserOptions: PHONE });
  });
}
