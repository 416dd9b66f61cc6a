// Debian's chromium, driven through playwright-core. No browser is ever downloaded: the
// program is /usr/bin/chromium (or $VISTREL_CHROMIUM), with a fresh profile every time.
"use strict";

const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");

const CHROMIUM = process.env.VISTREL_CHROMIUM || "/usr/bin/chromium";

// Quiet and self-contained: no GPU, no QUIC, no background traffic of the browser's own.
const ARGS = [
  "--no-sandbox",
  "--disable-gpu",
  "--disable-quic",
  "--no-first-run",
  "--disable-background-networking",
  "--disable-component-update",
  "--disable-sync",
];

function loadPlaywright() {
  try {
    return require("playwright-core");
  } catch (e) {
    throw new Error("playwright-core is not installed in tests/browser/node_modules: " +
      "run scripts/setup.sh (it runs npm ci there)\n" + e.message);
  }
}

// Starts the browser; returns { context, page, close() }.
async function launch(options = {}) {
  if (!fs.existsSync(CHROMIUM)) {
    throw new Error(`${CHROMIUM} not found: run scripts/setup.sh (Debian package chromium)`);
  }
  const { chromium } = loadPlaywright();
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "vistrel-chromium-"));
  let context;
  try {
    context = await chromium.launchPersistentContext(profile, {
      executablePath: CHROMIUM,
      headless: true,
      args: ARGS,
      viewport: options.viewport || { width: 1280, height: 800 },
      deviceScaleFactor: options.deviceScaleFactor || 1,
      // A phone: the page's viewport declaration counts, and taps are touches.
      isMobile: !!options.mobile,
      hasTouch: !!options.mobile,
      locale: options.locale || "en-GB",
      acceptDownloads: false,
      // The deployment test's proxy has a certificate of its own making.
      ignoreHTTPSErrors: !!options.ignoreHTTPSErrors,
    });
  } catch (e) {
    fs.rmSync(profile, { recursive: true, force: true });
    throw e;
  }
  const page = context.pages()[0] || await context.newPage();
  page.setDefaultTimeout(15000);
  return {
    context,
    page,
    async close() {
      try {
        await context.close();
      } finally {
        fs.rmSync(profile, { recursive: true, force: true });
      }
    },
  };
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Calls probe until it returns a true value; a probe that throws (a frame went away while
// it was read) counts as not yet. Fails after the time-out, naming what was awaited.
async function until(what, probe, timeoutMs = 15000) {
  const deadline = Date.now() + timeoutMs;
  let last = null;
  for (;;) {
    try {
      const value = await probe();
      if (value) return value;
      last = null;
    } catch (e) {
      last = e;
    }
    if (Date.now() > deadline) {
      throw new Error(`timed out waiting for ${what}` + (last ? `: ${last.message}` : ""));
    }
    await sleep(100);
  }
}

// The child frame of a frame by name; null when there is none.
function child(frame, name) {
  if (!frame) return null;
  return frame.childFrames().find((f) => f.name() === name && !f.isDetached()) || null;
}

// Waits until every frame of the page has loaded its document and pictures, then a
// little more, so that a screenshot shows the finished page.
async function settle(page) {
  await until("all frames loaded", async () => {
    for (const frame of page.frames()) {
      if (frame.isDetached()) continue;
      const done = await frame.evaluate(() => document.readyState === "complete" &&
        Array.from(document.images).every((img) => img.complete));
      if (!done) return false;
    }
    return true;
  });
  await sleep(250);
}

module.exports = { launch, until, child, settle, sleep, CHROMIUM, ARGS };
