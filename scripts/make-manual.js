// Makes the user manual of every configured language:
//     node make-manual.js <source-dir> <build-dir>
// For each language a fresh demo root is served whose sessions start in that language, the
// browser walk (tests/browser/walk.js) photographs the interface, and docs/manual/<lang>.html
// is printed with those screenshots to root-template/web/<lang>/User_manual_1_0.pdf.
// The phone tour (tests/browser/phone_test.js) runs the same way on a root of its own; its
// steps are named phone-..., so their pictures never take the name of a desktop one.
// A figure whose screenshot the walk did not take (a part not built yet) is left out.
"use strict";

const fs = require("node:fs");
const path = require("node:path");
const url = require("node:url");

const source = path.resolve(process.argv[2] || path.join(__dirname, ".."));
const build = path.resolve(process.argv[3] || path.join(source, "build", "release"));
const browserDir = path.join(source, "tests", "browser");
const { VistrelServer, readPairs } = require(path.join(browserDir, "vistrel.js"));
const { launch } = require(path.join(browserDir, "browser.js"));
const { Walk, STEPS, runWalk } = require(path.join(browserDir, "walk.js"));
const phone = require(path.join(browserDir, "phone_test.js"));

// The help step opens the manual itself, which may not exist yet.
const SKIPPED_STEPS = ["help"];

// The tours whose pictures the manual shows: the steps, and how the browser is launched.
const TOURS = [
  { name: "desktop", steps: STEPS, browserOptions: undefined },
  { name: "phone", steps: phone.STEPS, browserOptions: phone.PHONE },
];

async function screenshots(language, shots, { steps, browserOptions }) {
  fs.rmSync(shots, { recursive: true, force: true });
  const server = new VistrelServer(source, build, { language });
  let walk = null;
  try {
    await server.start();
    walk = await Walk.open(server, { browserOptions });
    await runWalk(walk, shots, SKIPPED_STEPS, steps);
  } catch (error) {
    console.error(server.log());
    throw error;
  } finally {
    if (walk) await walk.close();
    await server.stop();
    server.remove();
  }
  // Step name -> file: the walk numbers its screenshots NN-name.png.
  const byName = {};
  for (const file of fs.readdirSync(shots)) {
    const m = /^\d+-(.+)\.png$/.exec(file);
    if (m && !m[1].endsWith("-failed")) byName[m[1]] = path.join(shots, file);
  }
  return byName;
}

async function print(language, shots, target) {
  const html = path.join(source, "docs", "manual", `${language}.html`);
  if (!fs.existsSync(html)) throw new Error(`no manual text ${html}`);
  const browser = await launch();
  try {
    const page = browser.page;
    await page.goto(url.pathToFileURL(html).href);
    // As data URLs: a file URL would taint the canvas that crops a picture.
    const pictures = Object.fromEntries(Object.entries(shots).map(([name, file]) =>
      [name, "data:image/png;base64," + fs.readFileSync(file).toString("base64")]));
    const missing = await page.evaluate((pictures) => {
      const left = [];
      for (const figure of document.querySelectorAll("figure[data-shot]")) {
        const name = figure.getAttribute("data-shot");
        if (pictures[name]) {
          figure.querySelector("img").src = pictures[name];
        } else {
          left.push(name);
          figure.remove();
        }
      }
      return left;
    }, pictures);
    await page.waitForFunction(() => Array.from(document.images).every((i) => i.complete));
    // data-crop="x,y,width,height" keeps only that part of a screenshot.
    await page.evaluate(async () => {
      for (const figure of document.querySelectorAll("figure[data-crop]")) {
        const img = figure.querySelector("img");
        const [x, y, w, h] = figure.getAttribute("data-crop").split(",").map(Number);
        const canvas = document.createElement("canvas");
        canvas.width = w;
        canvas.height = h;
        canvas.getContext("2d").drawImage(img, x, y, w, h, 0, 0, w, h);
        img.src = canvas.toDataURL("image/png");
        await img.decode();
      }
    });
    fs.mkdirSync(path.dirname(target), { recursive: true });
    await page.pdf({
      path: target,
      format: "A4",
      printBackground: true,
      preferCSSPageSize: true,
      displayHeaderFooter: true,
      headerTemplate: "<span></span>",
      footerTemplate: "<div style=\"width:100%;font-size:8px;color:#5a6573;text-align:center;" +
        "font-family:'DejaVu Sans',sans-serif\">Vistrel 1.0 &middot; <span class=\"pageNumber\">" +
        "</span> / <span class=\"totalPages\"></span></div>",
    });
    return missing;
  } finally {
    await browser.close();
  }
}

(async () => {
  const languages = readPairs(path.join(source, "root-template", "config", "languages.cfg"));
  for (const [code, name] of languages) {
    const shots = {};
    for (const tour of TOURS) {
      Object.assign(shots, await screenshots(code, path.join(build, "manual", code, tour.name), tour));
    }
    const target = path.join(source, "root-template", "web", code, "User_manual_1_0.pdf");
    const missing = await print(code, shots, target);
    const size = fs.statSync(target).size;
    console.log(`${name}: ${path.relative(source, target)} (${size} bytes)` +
      (missing.length ? `; without the pictures of ${missing.join(", ")}` : ""));
  }
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
