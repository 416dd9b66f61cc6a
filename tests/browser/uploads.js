// Many files at once, in the own images of "My account": five files chosen together (one
// of them a PNG named .jpg) are sent one after the other with a progress bar each, and the
// grid comes back once with the summary; files dropped on the page go the same way, and a
// refusal through the plain form is told on the page that follows.
// Runs after the stories, with their accounts: Anna's uploads are stored at once, Bert's
// wait for acceptance.
"use strict";

const childProcess = require("node:child_process");
const fs = require("node:fs");
const path = require("node:path");
const { until } = require("./browser.js");
const { moduleById, frameOf, markOld, newDocuments, expectEqual, images, chooseTab } =
  require("./modules.js");
const { step, squash } = require("./common.js");
const { ANNA, BERT, PICTURES, picture, logInSecond } = require("./stories.js");

const ACCOUNT = 100;

// Drawn like the story's pictures; "notes" is a PNG under a JPEG's name.
Object.assign(PICTURES, {
  quay: { size: [900, 600], colours: ["#23395d", "#e0c080"], sun: "#fff6d0" },
  nets: { size: [600, 800], colours: ["#3d2b1f", "#c9a66b"], sun: "#f5e6c8" },
  buoy: { size: [720, 480], colours: ["#0f4c5c", "#e36414"], sun: "#fb8b24" },
  tide: { size: [1024, 683], colours: ["#14213d", "#8ecae6"], sun: "#ffffff" },
  crane: { size: [500, 500], colours: ["#2b2d42", "#edf2f4"], sun: "#ef233c" },
});

function pngNamedJpeg(w) {
  const file = path.join(w.server.dir, "notes.jpg");
  if (!fs.existsSync(file)) {
    childProcess.execFileSync("convert", ["-size", "300x200", "gradient:#ffffff-#888888", `png:${file}`],
      { stdio: ["ignore", "ignore", "pipe"] });
  }
  return file;
}

// Slows the browser's sending down, so that the bars can be seen filling.
async function slowUpload(b, bytesPerSecond) {
  const cdp = await b.page.context().newCDPSession(b.page);
  await cdp.send("Network.enable");
  await cdp.send("Network.emulateNetworkConditions", { offline: false, latency: 20,
    downloadThroughput: -1, uploadThroughput: bytesPerSecond });
  return async () => {
    await cdp.send("Network.emulateNetworkConditions", { offline: false, latency: 0,
      downloadThroughput: -1, uploadThroughput: -1 });
    await cdp.detach();
  };
}

// The own-images grid of the person at the second browser.
async function ownImages(w, p) {
  const b = await logInSecond(w, p);
  await b.openModule(moduleById(ACCOUNT));
  const { area } = await chooseTab(b, "TAB_IMAGES");
  return { b, area };
}

// The summary above the grid: its counts and its rows.
async function summary(area) {
  return area.evaluate(() => {
    const box = document.querySelector("div.uploadSummary");
    if (!box) return null;
    return {
      counts: ["stored", "waiting", "refused"].map((k) => Number(box.getAttribute(`data-${k}`))),
      line: box.querySelector("div.message").innerText,
      rows: Array.from(box.querySelectorAll("tr.uploadFile")).map((tr) => ({
        name: tr.cells[0].innerText.trim(), outcome: tr.getAttribute("data-upload-outcome"),
        text: tr.cells[2].innerText.replace(/\s+/g, " ").trim(),
        full: tr.querySelector("progress").value === tr.querySelector("progress").max })),
      first: document.body.firstElementChild === box,
    };
  });
}

function expectSummary(b, shown, counts, rows) {
  if (!shown) throw new Error("the grid shows no summary of the upload");
  if (!shown.first) throw new Error("the summary is not at the top of the page");
  expectEqual("the summary's counts", shown.counts, counts);
  const line = [[b.t("LABEL_UPLOAD_STORED"), counts[0]], [b.t("LABEL_UPLOAD_WAITING"), counts[1]],
    [b.t("LABEL_UPLOAD_REFUSED"), counts[2]]].map(([t, n]) => `${t}: ${n}`).join(" \u00B7 ");
  expectEqual("the summary's line", squash(shown.line), line);
  expectEqual("the summary's files", shown.rows.map((r) => [r.name, r.outcome, r.text, r.full]),
    rows.map(([name, outcome, text]) => [name, outcome, text, true]));
}

const STEPS = [
  step("uploads-many", "The user chooses five files at once: bars, then the grid with a summary", async (w) => {
    const { b, area } = await ownImages(w, ANNA);
    const before = (await images.cells(area)).map((c) => c.id);
    const files = ["quay", "nets", "buoy", "tide"].map((k) => picture(w, k));
    files.splice(2, 0, pngNamedJpeg(w));
    const input = area.locator("form[name=imageForm] input[type=file]");
    if (!(await input.evaluate((e) => e.multiple))) throw new Error("the file field takes one file only");
    await input.setInputFiles(files);

    // About a second for each file, so that a bar is seen part way.
    const restore = await slowUpload(b, 16 * 1024);
    let seen;
    try {
      await markOld(b, ["area"]);
      await area.locator("form[name=imageForm] input.uploadButton").click();
      // A bar per file, and one of them part way: the bytes sent so far.
      seen = await until("a bar filling while the files are sent", () => area.evaluate(() => {
        const bars = Array.from(document.querySelectorAll("table.uploadProgress progress"));
        const partWay = bars.find((p) => p.value > 0 && p.value < p.max);
        return partWay ? { bars: bars.length, value: partWay.value, max: partWay.max } : null;
      }).catch(() => null));
      await newDocuments(b, ["area"], "the grid after sending five files");
    } finally {
      await restore();
    }
    if (seen.bars !== 5) throw new Error(`${seen.bars} progress bars for five files`);
    b.log(`a bar at ${seen.value} of ${seen.max} bytes`);

    const grid = frameOf(b, "area");
    const names = files.map((f) => path.basename(f));
    expectSummary(b, await summary(grid), [4, 0, 1], names.map((n) => n === "notes.jpg" ?
      [n, "not-jpeg", b.t("MESSAGE_UPLOAD_NOT_JPEG")] : [n, "stored", b.t("MESSAGE_UPLOAD_STORED")]));
    const cells = await images.cells(grid);
    const added = cells.filter((c) => !before.includes(c.id));
    if (added.length !== 4 || !added.every((c) => c.loaded && c.title === b.t("LABEL_ACCEPTED"))) {
      throw new Error(`the grid shows these new images: ${JSON.stringify(added)}`);
    }
    return b;
  }),

  step("uploads-refused", "One file refused through the plain form: the page says why", async (w) => {
    const { b, area } = await ownImages(w, BERT);
    await area.locator("form[name=imageForm] input[type=file]").setInputFiles(pngNamedJpeg(w));
    await markOld(b, ["area"]);
    await area.locator("form[name=imageForm] input.uploadButton").click();
    const { area: after } = await newDocuments(b, ["area"], "the page after a refused upload");
    const line = after.locator("div.message[data-upload-outcome]");
    expectEqual("the message after the refused upload",
      [await line.getAttribute("data-upload-outcome"), squash(await line.innerText())],
      ["not-jpeg", b.t("MESSAGE_UPLOAD_NOT_JPEG")]);
    return b;
  }),

  step("uploads-drop", "Files dropped on the page of a user whose uploads wait, one beyond his limit", async (w) => {
    const { b, area } = await ownImages(w, BERT);
    const before = (await images.cells(area)).map((c) => c.id);
    const room = BERT.imageLimit - before.length;
    if (room < 1 || room > 3) throw new Error(`the user has room for ${room} images, not 1 to 3`);
    // One file more than there is room for: the last is refused, after the others were sent.
    const files = ["crane", "quay", "nets", "buoy"].slice(0, room + 1).map((k) => picture(w, k));
    const sent = files.map((f) => [fs.readFileSync(f).toString("base64"), path.basename(f)]);
    await markOld(b, ["area"]);
    // The drag over the page marks it as taking files; the drop sends them.
    const marked = await area.evaluate((sent) => {
      const dropped = new DataTransfer();
      for (const [data, name] of sent) {
        const raw = atob(data);
        const array = new Uint8Array(raw.length);
        for (let i = 0; i < raw.length; i++) array[i] = raw.charCodeAt(i);
        dropped.items.add(new File([array], name, { type: "image/jpeg" }));
      }
      const options = { dataTransfer: dropped, bubbles: true, cancelable: true };
      document.body.dispatchEvent(new DragEvent("dragover", options));
      const wasMarked = document.body.classList.contains("dropTarget");
      document.body.dispatchEvent(new DragEvent("drop", options));
      return wasMarked;
    }, sent);
    if (!marked) throw new Error("a file dragged over the page does not mark it");
    const { area: grid } = await newDocuments(b, ["area"], "the grid after the drop");
    const rows = sent.map(([, name]) => [name, "waiting", b.t("MESSAGE_UPLOAD_WAITING")]);
    rows[room] = [sent[room][1], "at-limit",
      b.t("MESSAGE_UPLOAD_AT_LIMIT").replace("%s", String(BERT.imageLimit))];
    expectSummary(b, await summary(grid), [0, room, 1], rows);
    const added = (await images.cells(grid)).filter((c) => !before.includes(c.id));
    if (added.length !== room || !added.every((c) => c.title === b.t("LABEL_WAIT"))) {
      throw new Error(`the grid shows these new images: ${JSON.stringify(added)}`);
    }
    return b;
  }),

  step("uploads-logout", "The user logs out", async (w) => {
    const b = await w.second();
    await b.logOut();
  }),
];

module.exports = { STEPS };
