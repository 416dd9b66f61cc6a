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
const { ANNA, PICTURES, account, createAccount, uploadPicture, state } = require("./stories.js");

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

// The grid of the area frame loaded again while the page has two device pixels per CSS
// pixel: every tile shows the large preview (the srcset's 2x), and no small one is asked for.
async function sharpGrid(w) {
  const cdp = await w.page.context().newCDPSession(w.page);
  const requested = [];
  const listen = (r) => requested.push(r.url());
  const metrics = (scale) => cdp.send("Emulation.setDeviceMetricsOverride",
    { width: PHONE.viewport.width, height: PHONE.viewport.height, deviceScaleFactor: scale, mobile: true });
  w.page.on("request", listen);
  try {
    await metrics(2);
    const { area } = await framesNow(w, ["area"]);
    const ids = (await images.cells(area)).map((c) => c.id);
    if (ids.length === 0) throw new Error("the grid shows no tiles");
    const { area: grid } = await actReloading(w, () => area.evaluate(() => location.reload()), ["area"],
      "the grid at two device pixels per CSS pixel");
    const shown = await until("every tile's picture", async () => {
      const sources = await grid.evaluate(() => Array.from(document.querySelectorAll("table[width='160'] img"))
        .map((img) => (img.complete && img.naturalWidth > 0 ? img.currentSrc : null)));
      return sources.every((src) => src) ? sources : null;
    });
    for (const id of ids) {
      if (!shown.some((src) => src.endsWith(`page=604&Image.id=${id}`))) {
        throw new Error(`image ${id} does not show its large preview: ${JSON.stringify(shown)}`);
      }
    }
    const small = requested.filter((url) => /[?&]page=603&/.test(url));
    if (small.length) throw new Error(`small previews were asked for: ${small.join(", ")}`);
  } finally {
    w.page.off("request", listen);
    await metrics(1);
    await cdp.detach();
  }
}

// A sideways swipe over the viewer's picture, as touches (to the left: the next picture).
async function swipe(page, toTheLeft) {
  const cdp = await page.context().newCDPSession(page);
  const y = 400;
  const [from, to] = toTheLeft ? [320, 60] : [60, 320];
  await cdp.send("Input.dispatchTouchEvent", { type: "touchStart", touchPoints: [{ x: from, y }] });
  for (let i = 1; i <= 5; i++) {
    await cdp.send("Input.dispatchTouchEvent",
      { type: "touchMove", touchPoints: [{ x: from + ((to - from) * i) / 5, y }] });
  }
  await cdp.send("Input.dispatchTouchEvent", { type: "touchEnd", touchPoints: [] });
  await cdp.detach();
}

// From the detail page in the area frame: the picture opens the viewer as a page of its own
// over the whole screen, with the screen-sized picture, the position and the name; its
// buttons fit a finger (the layout check); a swipe shows the neighbour in the list; and no
// original is asked for all along.
async function phoneViewer(w) {
  const context = w.page.context();
  const requested = [];
  const listen = (r) => requested.push(r.url());
  context.on("request", listen);
  try {
    const { area } = await framesNow(w, ["area"]);
    const [viewer] = await Promise.all([context.waitForEvent("page"),
      area.locator("img[src*='page=604&']").tap()]);
    const shown = () => until("the viewer's picture", async () => viewer.evaluate(() => {
      const img = document.getElementById("viewerImage");
      if (!img || !img.complete || img.naturalWidth === 0) return null;
      const caption = document.querySelector("div.viewerCaption");
      return { src: img.currentSrc, width: window.innerWidth, height: window.innerHeight,
        shown: img.getBoundingClientRect().width, caption: caption ? caption.innerText.trim() : "",
        next: document.body.getAttribute("data-next"), previous: document.body.getAttribute("data-previous") };
    }).catch(() => null));
    const first = await shown();
    if (first.width !== PHONE.viewport.width || first.shown !== first.width) {
      throw new Error(`the viewer does not fill the phone's screen: ${JSON.stringify(first)}`);
    }
    if (!/[?&]page=606&/.test(first.src)) throw new Error(`the viewer shows ${first.src}`);
    const name = PICTURES.heron.name;
    if (!/^\d of 2/.test(first.caption) || !first.caption.includes(name)) {
      throw new Error(`the viewer's caption is ${JSON.stringify(first.caption)}`);
    }
    const problems = await layoutProblems(viewer);
    if (problems.length) throw new Error(`the viewer's layout breaks:\n  ${problems.join("\n  ")}`);
    await viewer.screenshot({ path: path.join(w.server.dir, "viewer-phone.png") });
    const onward = first.next || first.previous;
    const target = /[?&]Image\.id=(\d+)/.exec(onward)[1];
    await swipe(viewer, !!first.next);
    await until("the neighbour after the swipe", async () =>
      new RegExp(`[?&]Image\\.id=${target}(&|$)`).test(viewer.url()));
    const second = await shown();
    if (!second.src.endsWith(`page=606&Image.id=${target}`)) throw new Error(`after the swipe: ${second.src}`);
    const originals = requested.filter((url) => /[?&]page=602(&|$)/.test(url));
    if (originals.length) throw new Error(`originals were loaded: ${originals.join(", ")}`);
    await viewer.close();
  } finally {
    context.off("request", listen);
  }
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
  step("phone-sharp-grid", "At two device pixels per CSS pixel the grid shows the large previews", async (w) => {
    await sharpGrid(w);
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
  phoneStep("viewer", "The picture opens the viewer over the whole screen; a swipe moves on, no original loads",
    (w) => phoneViewer(w)),
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
