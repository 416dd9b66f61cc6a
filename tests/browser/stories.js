// Two stories told through the interface by two people at two browsers: the
// administrator in the walk's own browser and a user in a second one (walk.second()).
//
// Upload: the administrator makes an image folder and an account with the upload right;
// that user uploads a JPEG made for the test, names it, gives it keywords, publishes it in
// the folder, and the administrator finds it there.
//
// Administration: an account is created and given rights; its uploads and its offers to
// other users' folders wait; the administrator accepts and denies them in the acceptance
// module, in the folder and in a session opened as that user, and finds the accepted
// images with the search; folders are created, renamed, moved, disabled and deleted by the
// administrator and by a folder administrator who owns only some of them.
"use strict";

const childProcess = require("node:child_process");
const fs = require("node:fs");
const path = require("node:path");
const { until } = require("./browser.js");
const { ADMIN, exactly, step } = require("./common.js");
const { moduleById, framesNow, actReloading, clickReloading, expectEqual, expectForm, userAdmin, folderAdmin,
  images, folders, chooseTab, upload, texts } = require("./modules.js");

const USERS = 300;
const FOLDER_ADMIN = 900;
const FOLDERS = 400;
const ACCOUNT = 100;
const ACCEPTANCE = 1000;
const SEARCH = 700;

const ANNA = { username: "anna", password: "Lumen-7", firstname: "Anna", lastname: "Berg",
  email: "anna.berg@example.org", imageLimit: 10, upload: true, download: true,
  imageAccept: false, folderAccept: false, folderAdmin: false };
const BERT = { username: "bert", password: "Kestrel-4", firstname: "Bert", lastname: "Olsen",
  email: "bert.olsen@example.org", imageLimit: 5, upload: true, download: false,
  imageAccept: true, folderAccept: true, folderAdmin: true };

// The pictures, drawn with ImageMagick when the story needs them.
const PICTURES = {
  harbour: { size: [800, 600], colours: ["#12355b", "#f0b35e"], sun: "#fff1a8",
    imageDate: "17.05.2024", name: "Harbour at dawn", keywords: "harbour boats dawn",
    description: "Fishing boats before sunrise." },
  heron: { size: [640, 480], colours: ["#2f5233", "#b9d8c2"], sun: "#e8eef2",
    imageDate: "02.09.2023", name: "Grey heron", keywords: "heron bird lake",
    description: "A heron waiting in the reeds." },
  gull: { size: [480, 640], colours: ["#0b3d5c", "#9ad1e8"], sun: "#ffffff",
    imageDate: "11.07.2023", name: "Gull", keywords: "gull bird sea",
    description: "A gull over the pier." },
};

// What the story has made so far: account ids by user name, image ids by picture.
function state(w) {
  if (!w.story) w.story = { users: {}, images: {} };
  return w.story;
}

const fullName = (p) => `${p.firstname} ${p.lastname}`;
const listName = (p) => `${p.lastname}, ${p.firstname}`;

// The person as the walk logs in: name in the top bar and the menu entries to expect.
function account(w, p) {
  return { id: state(w).users[p.username], username: p.username, password: p.password,
    name: fullName(p), administrator: false, folderAdmin: p.folderAdmin };
}

function picture(w, key) {
  const p = PICTURES[key];
  const file = path.join(w.server.dir, `${key}.jpg`);
  if (!fs.existsSync(file)) {
    const [width, height] = p.size;
    const r = Math.round(Math.min(width, height) / 8);
    const args = ["-size", `${width}x${height}`, `gradient:${p.colours[0]}-${p.colours[1]}`,
      "-fill", p.sun, "-draw", `circle ${width * 0.7},${height * 0.3} ${width * 0.7 + r},${height * 0.3}`,
      "-fill", "#1c1c28", "-draw", `rectangle 0,${Math.round(height * 0.8)} ${width},${height}`,
      "-quality", "88", file];
    try {
      childProcess.execFileSync("convert", args, { stdio: ["ignore", "ignore", "pipe"] });
    } catch (e) {
      throw new Error(`ImageMagick's convert could not draw ${file} (run scripts/setup.sh): ${e.message}`);
    }
  }
  return file;
}

// Logs the second browser in as the person, logging out whoever used it before.
async function logInSecond(w, p) {
  const b = await w.second();
  if (b.user) {
    await b.logOut();
  } else {
    await b.page.goto(w.server.url + "/");
  }
  await b.logIn(account(w, p), false);
  return b;
}

// The administrator creates an account in the user administration: New, then the form.
async function createAccount(w, p, withRights) {
  await w.openModule(moduleById(USERS));
  const id = await userAdmin.create(w);
  const fields = { lastname: p.lastname, firstname: p.firstname, username: p.username,
    password1: p.password, password2: p.password, email: p.email };
  const choices = withRights ? userAdmin.choices(w, p) :
    { type: w.t("TYPE_USER"), enabled: w.t("WORD_YES") };
  if (withRights) fields.imageLimit = p.imageLimit;
  const row = await userAdmin.save(w, fields, choices);
  expectEqual("the new account in the list", [row.id, row.name, row.username, row.type],
    [id, listName(p), p.username, w.t("TYPE_USER")]);
  state(w).users[p.username] = id;
  return row;
}

// Uploads a picture from the own-images tab and gives it its name, date, keywords and
// description on the detail page that follows; returns the new image's id.
async function uploadPicture(w, b, key) {
  const p = PICTURES[key];
  await b.openModule(moduleById(ACCOUNT));
  await chooseTab(b, "TAB_IMAGES");
  const file = picture(w, key);
  const shown = await upload(b, file);
  const details = await images.details(shown);
  const id = Number(details[b.t("LABEL_IMAGE_NUMBER")]);
  const size = details[b.t("LABEL_IMAGE_SIZE")];
  // The original is kept as it was sent, byte for byte.
  const bytes = fs.statSync(file).size;
  if (!(id >= 0) || size !== `${p.size[0]} x ${p.size[1]} / ${bytes} bytes`) {
    throw new Error(`after the upload of ${key} the page shows ${JSON.stringify(details)}`);
  }
  if (!details.pictureLoaded) throw new Error(`the large picture of ${key} did not load`);
  await images.edit(b, "area", { imageDate: p.imageDate, name: p.name, keywords: p.keywords,
    description: p.description });
  state(w).images[key] = id;
  return id;
}

// The publishing tab of an image folder: the state shown above a picture, and pressing
// its button.
async function publishingTab(b, ...folderPath) {
  await b.openModule(moduleById(FOLDERS));
  await folders.go(b, ...folderPath);
  return (await chooseTab(b, "TAB_MY_IMAGES")).area;
}

async function expectCell(frame, id, expected, what) {
  const cell = await images.cell(frame, id);
  for (const [key, value] of Object.entries(expected)) {
    if (JSON.stringify(cell[key]) !== JSON.stringify(value)) {
      throw new Error(`${what}: ${key} is ${JSON.stringify(cell[key])}, expected ` +
        `${JSON.stringify(value)} (${JSON.stringify(cell)})`);
    }
  }
  return cell;
}

const pictureSize = (key) => `${PICTURES[key].size[0]} x ${PICTURES[key].size[1]}`;

const UPLOAD_STORY = [
  step("story-admin-login", "The administrator logs in again for the stories", async (w) => {
    await w.logIn(ADMIN, false);
  }),

  step("upload-folder", "The administrator creates the enabled image folder Harbour", async (w) => {
    await w.openModule(moduleById(FOLDER_ADMIN));
    await folderAdmin.create(w);
    await folderAdmin.save(w, { name: "Harbour", enabled: true, imageFolder: true });
    const rows = await folderAdmin.rows(w);
    expectEqual("the folders after saving Harbour", rows.map((r) => [r.name, r.icon, r.selected]),
      [["Harbour", "/images/folder_images.gif", true]]);
  }),

  step("upload-account", "The administrator creates an account with the upload right", async (w) => {
    const row = await createAccount(w, ANNA, true);
    if (row.icon !== "/images/user_upload.gif") throw new Error(`the new account shows ${row.icon}`);
  }),

  step("upload-login", "The new user logs in at a second browser", (w) => logInSecond(w, ANNA)),

  step("upload-own-images", "The user opens the own images: no image yet, the upload form", async (w) => {
    const b = await w.second();
    await b.openModule(moduleById(ACCOUNT));
    const { area } = await chooseTab(b, "TAB_IMAGES");
    expectEqual("the own images before the upload", await images.cells(area), []);
    expectEqual("the empty own images say so", await texts(area, "div.message_empty"),
      [b.t("EMPTY_OWN_IMAGES")]);
    const uploadButton = await area.locator("form[name=imageForm] input.uploadButton").getAttribute("value");
    if (uploadButton !== b.t("BUTTON_UPLOAD")) throw new Error(`the upload button reads "${uploadButton}"`);
    return b;
  }),

  step("upload-image", "The user uploads a JPEG and gives it name, date, keywords, description", async (w) => {
    const b = await w.second();
    await uploadPicture(w, b, "harbour");
    return b;
  }),

  step("upload-own-grid", "The user's image is accepted at once and listed among the own images", async (w) => {
    const b = await w.second();
    const grid = await images.backToGrid(b, "area");
    await expectCell(grid, state(w).images.harbour, { title: b.t("LABEL_ACCEPTED"),
      titleClass: "imageTitle_accepted", buttons: [b.t("BUTTON_DELETE")] }, "the own image");
    return b;
  }),

  step("upload-publish", "The user publishes the image in Harbour", async (w) => {
    const b = await w.second();
    const id = state(w).images.harbour;
    // The empty folder points to the tab where the user publishes.
    await b.openModule(moduleById(FOLDERS));
    await folders.go(b, "Harbour");
    const empty = await framesNow(b, ["area"]);
    expectEqual("the empty folder", await texts(empty.area, "div.message_empty"),
      [`${b.t("EMPTY_FOLDER")} ${b.t("EMPTY_FOLDER_PUBLISH")}`]);
    const area = await publishingTab(b, "Harbour");
    await expectCell(area, id, { title: b.t("LABEL_NOT_PUBLISHED"),
      buttons: [b.t("BUTTON_PUBLISH")] }, "the image before publishing");
    const after = await images.press(b, "area", id, b.t("BUTTON_PUBLISH"));
    await expectCell(after, id, { title: b.t("LABEL_PUBLISHED"), titleClass: "imageTitle_accepted",
      buttons: [b.t("BUTTON_UNPUBLISH")] }, "the image after publishing");
    expectEqual("the message after publishing", await texts(after, "div.message"), [b.t("MESSAGE_PUBLISHED")]);
    // Unpublishing asks first; No keeps it, Yes removes it; then it is published again.
    const questions = [];
    const answer = (yes) => (dialog) => { questions.push(dialog.message()); return yes ? dialog.accept() : dialog.dismiss(); };
    const unpublish = images.cellLocator(after, id).locator("td.imageButton", { hasText: exactly(b.t("BUTTON_UNPUBLISH")) });
    b.page.once("dialog", answer(false));
    await unpublish.click();
    await until("the question before unpublishing", () => questions.length === 1);
    expectEqual("the question", questions[0], `${b.t("QUESTION_UNPUBLISH_IMAGE")}?`);
    b.page.once("dialog", answer(true));
    const removed = (await actReloading(b, () => unpublish.click(), ["area"], "the grid after Unpublish")).area;
    await expectCell(removed, id, { title: b.t("LABEL_NOT_PUBLISHED"), buttons: [b.t("BUTTON_PUBLISH")] },
      "the image after unpublishing");
    expectEqual("the message after unpublishing", await texts(removed, "div.message"), [b.t("MESSAGE_UNPUBLISHED")]);
    await images.press(b, "area", id, b.t("BUTTON_PUBLISH"));
    return b;
  }),

  step("upload-folder-user", "The user sees the image in the folder", async (w) => {
    const b = await w.second();
    const { area } = await chooseTab(b, "TAB_FOLDER");
    await expectCell(area, state(w).images.harbour, { title: fullName(ANNA),
      status: pictureSize("harbour"), buttons: [] }, "the folder's image for its owner");
    return b;
  }),

  step("upload-admin-sees", "The administrator finds the image in Harbour with its attributes", async (w) => {
    const id = state(w).images.harbour;
    await w.openModule(moduleById(FOLDERS));
    await folders.go(w, "Harbour");
    const { area } = await framesNow(w, ["area"]);
    await expectCell(area, id, { title: fullName(ANNA), titleClass: "imageTitle_accepted",
      status: w.t("LABEL_ACCEPTED"), buttons: [w.t("BUTTON_DENY")] }, "the image for the administrator");
    const detail = await images.openDetail(w, "area", id);
    const p = PICTURES.harbour;
    const shown = await images.details(detail);
    const expected = { [w.t("LABEL_IMAGE_NUMBER")]: String(id), [w.t("LABEL_IMAGE_NAME")]: p.name,
      [w.t("LABEL_IMAGE_KEYWORDS")]: p.keywords, [w.t("LABEL_IMAGE_DATE")]: p.imageDate };
    for (const [label, value] of Object.entries(expected)) {
      if (shown[label] !== value) throw new Error(`the detail page shows ${label} "${shown[label]}", expected "${value}"`);
    }
    // A click on the large picture opens the original in a window of its own.
    const [imageWindow] = await Promise.all([
      w.page.context().waitForEvent("page"),
      detail.locator("img[src*='page=604&']").click(),
    ]);
    try {
      await imageWindow.waitForLoadState("load");
      const original = await until("the original in the image window", () => imageWindow.evaluate(() => {
        const img = document.images[0];
        return img && img.complete && img.naturalWidth > 0 ? [img.naturalWidth, img.naturalHeight] : null;
      }));
      expectEqual("the size of the original in the image window", original, p.size);
    } finally {
      await imageWindow.close();
    }
  }),
];

const ADMINISTRATION_STORY = [
  step("users-create", "The administrator creates a second account", async (w) => {
    const row = await createAccount(w, BERT, false);
    if (row.icon !== "/images/user_enabled.gif") throw new Error(`the new account shows ${row.icon}`);
  }),

  step("users-rights", "The administrator gives it upload, acceptance and folder rights", async (w) => {
    await userAdmin.select(w, ANNA.username);
    await userAdmin.select(w, BERT.username);
    const row = await userAdmin.save(w, { imageLimit: BERT.imageLimit }, userAdmin.choices(w, BERT));
    if (row.icon !== "/images/user_upload.gif") throw new Error(`the account shows ${row.icon}`);
  }),

  step("users-login", "The second user logs in at the second browser", (w) => logInSecond(w, BERT)),

  step("uploads-wait", "The second user's uploads wait for acceptance", async (w) => {
    const b = await w.second();
    await uploadPicture(w, b, "heron");
    await uploadPicture(w, b, "gull");
    // The detail page of the last upload says that it waits.
    const { area } = await framesNow(b, ["area"]);
    expectEqual("the note on the waiting gull", await texts(area, "div.message_note"),
      [b.t("MESSAGE_IMAGE_WAITING")]);
    const grid = await images.backToGrid(b, "area");
    for (const key of ["heron", "gull"]) {
      await expectCell(grid, state(w).images[key], { title: b.t("LABEL_WAIT"),
        titleClass: "imageTitle_wait", buttons: [b.t("BUTTON_DELETE")] }, `the waiting ${key}`);
    }
    return b;
  }),

  step("accept-queue", "The administrator finds both uploads waiting in the acceptance module", async (w) => {
    const { heron, gull } = state(w).images;
    if (!(await w.openModule(moduleById(ACCEPTANCE)))) return false;
    const { area } = await chooseTab(w, "TAB_USERS");
    expectEqual("the waiting uploads", (await images.cells(area)).map((c) => c.id).sort(), [heron, gull].sort());
    for (const id of [heron, gull]) {
      await expectCell(area, id, { title: fullName(BERT), titleClass: "imageTitle_wait",
        buttons: [w.t("BUTTON_ACCEPT"), w.t("BUTTON_DENY")] }, "a waiting upload");
    }
  }, [ACCEPTANCE]),

  step("accept-queue-decide", "The administrator accepts the heron; the gull waits on", async (w) => {
    const { heron, gull } = state(w).images;
    const after = await images.decide(w, "area", heron, w.t("BUTTON_ACCEPT"));
    expectEqual("the queue after accepting the heron", (await images.cells(after)).map((c) => c.id), [gull]);
  }, [ACCEPTANCE]),

  step("accept-as-user", "The administrator opens a session as the user and accepts the gull", async (w) => {
    const { gull } = state(w).images;
    await w.openModule(moduleById(USERS));
    await userAdmin.select(w, BERT.username);
    const { info } = await framesNow(w, ["info"]);
    const before = w.shell().statusbar.url();
    await info.locator("td.pageButton", { hasText: exactly(w.t("BUTTON_LOGIN")) }).click();
    const shell = await w.waitForShell(before);
    w.user = account(w, BERT);
    await w.checkShell(shell, w.user, "MENU_INTRODUCTION");
    // Every page says whom the administrator is working as.
    const banner = await w.innerText(shell.title, "#actingBanner");
    if (!banner.includes(`${w.t("MESSAGE_ACTING_AS")} ${fullName(BERT)} (${BERT.username})`) ||
        !banner.includes(w.t("BUTTON_BACK_TO_MY_ACCOUNT"))) {
      throw new Error(`the banner reads "${banner}"`);
    }
    await w.openModule(moduleById(ACCOUNT));
    const { area } = await chooseTab(w, "TAB_IMAGES");
    await expectCell(area, gull, { title: w.t("LABEL_WAIT"),
      buttons: [w.t("BUTTON_ACCEPT"), w.t("BUTTON_DENY")] }, "the waiting gull in the opened session");
    const after = await images.decide(w, "area", gull, w.t("BUTTON_ACCEPT"));
    await expectCell(after, gull, { title: w.t("LABEL_ACCEPTED"),
      buttons: [w.t("BUTTON_DENY"), w.t("BUTTON_DELETE")] }, "the accepted gull");
  }),

  step("accept-as-user-return", "The banner's button returns to the user administration", async (w) => {
    const before = w.shell().statusbar.url();
    await w.shell().title.locator("#backToAccount").click();
    const shell = await w.waitForShell(before);
    w.user = ADMIN;
    await w.checkShell(shell, ADMIN, "MENU_USER_ADMINISTRATION");
    if (await shell.title.locator("#actingBanner").count() !== 0) throw new Error("the banner stayed");
    await framesNow(w, ["title", "list", "info"]);
  }),

  step("search-found", "The administrator finds the accepted images with the search", async (w) => {
    const { heron, gull } = state(w).images;
    if (!(await w.openModule(moduleById(SEARCH)))) return false;
    const search = async (words, useButton) => {
      const { menu } = await framesNow(w, ["menu"]);
      const field = menu.locator("form[name=Search] input[name=words]");
      await field.click();
      await field.fill(words);
      const act = useButton ? () => menu.locator("#searchButton").click() : () => field.press("Enter");
      const frames = await actReloading(w, act, ["menu", "area"], `the search for ${words}`);
      const shownWords = await frames.menu.locator("form[name=Search] input[name=words]").inputValue();
      if (shownWords !== words) throw new Error(`the search form shows "${shownWords}" after searching "${words}"`);
      return images.cells(frames.area);
    };
    const heronOnly = await search("Heron", false);
    expectEqual("found by Heron", heronOnly.map((c) => [c.id, c.title, c.status]),
      [[heron, fullName(BERT), pictureSize("heron")]]);
    // Nothing found says so, repeating the words (as text, never as markup).
    const nothing = await search("<b>albatross</b>", true);
    expectEqual("found by <b>albatross</b>", nothing, []);
    const { area } = await framesNow(w, ["area"]);
    expectEqual("the empty search result", await texts(area, "div.message_empty"),
      [`${w.t("EMPTY_SEARCH")} <b>albatross</b>`]);
    const birds = await search("bird", true);
    expectEqual("found by bird", birds.map((c) => c.id).sort(), [heron, gull].sort());
  }, [ACCEPTANCE, SEARCH]),

  step("search-detail", "A found image opens with its attributes", async (w) => {
    const { heron } = state(w).images;
    const detail = await images.openDetail(w, "area", heron);
    const shown = await images.details(detail);
    if (shown[w.t("LABEL_IMAGE_NAME")] !== PICTURES.heron.name || !shown.pictureLoaded) {
      throw new Error(`the search's detail page shows ${JSON.stringify(shown)}`);
    }
  }, [ACCEPTANCE, SEARCH]),

  step("search-viewer", "The image window shows the picture fitted; keys zoom, step, run a slideshow and close", async (w) => {
    const { area } = await framesNow(w, ["area"]);
    const [viewer] = await Promise.all([
      w.page.context().waitForEvent("page"),
      area.locator("img[src*='page=604&']").click(),
    ]);
    const shows = (name) => until(`the image window showing ${name}`, async () => {
      try {
        return await viewer.evaluate(() => {
          const img = document.getElementById("viewerImage");
          return img && img.complete && img.naturalWidth > 0 ? document.title : null;
        }) === name;
      } catch (e) {
        return false;  // between two pages
      }
    });
    await shows(PICTURES.heron.name);
    // Fitted into the window by default; Z (or a click) shows 100%, and back.
    const size = () => viewer.evaluate(() => {
      const img = document.getElementById("viewerImage");
      return { fitted: img.classList.contains("fitted"), width: img.getBoundingClientRect().width,
        natural: img.naturalWidth, window: window.innerWidth };
    });
    const fitted = await size();
    if (!fitted.fitted || fitted.width > fitted.window) throw new Error(`not fitted: ${JSON.stringify(fitted)}`);
    await viewer.keyboard.press("z");
    const actual = await size();
    if (actual.fitted || actual.width !== actual.natural) throw new Error(`not at 100%: ${JSON.stringify(actual)}`);
    await viewer.locator("#viewerImage").click();
    if (!(await size()).fitted) throw new Error("a click did not fit the picture again");
    // The download button, as the session has the right.
    const download = await viewer.locator("#downloadButton").getAttribute("download");
    expectEqual("the download's file name", download, `${PICTURES.heron.name}.jpg`);
    // The arrows step through the search result the window was opened from (two images).
    const heronFirst = await viewer.evaluate(() => !!document.body.getAttribute("data-next"));
    const [forward, backward] = heronFirst ? ["ArrowRight", "ArrowLeft"] : ["ArrowLeft", "ArrowRight"];
    await viewer.keyboard.press(forward);
    await shows(PICTURES.gull.name);
    await viewer.keyboard.press(backward);
    await shows(PICTURES.heron.name);
    // Space starts the slideshow on the first image, which moves on by itself, and stops it.
    if (!heronFirst) {
      await viewer.keyboard.press("ArrowLeft");
      await shows(PICTURES.gull.name);
    }
    const second = heronFirst ? PICTURES.gull.name : PICTURES.heron.name;
    await viewer.keyboard.press(" ");
    await shows(second);
    await until("the slideshow mark", async () => viewer.evaluate(() =>
      document.body.classList.contains("slideshow")));
    await viewer.keyboard.press(" ");
    if (await viewer.evaluate(() => document.body.classList.contains("slideshow"))) {
      throw new Error("Space did not stop the slideshow");
    }
    await viewer.screenshot({ path: path.join(w.server.dir, "viewer.png") });
    // Esc closes the window (the press may end with it).
    await Promise.all([viewer.waitForEvent("close"), viewer.keyboard.press("Escape").catch(() => {})]);
  }, [ACCEPTANCE, SEARCH]),
];

const FOLDER_STORY = [
  step("folders-admin-create", "The administrator creates a plain folder and two image folders", async (w) => {
    await w.openModule(moduleById(FOLDER_ADMIN));
    for (const [name, imageFolder] of [["Archive", false], ["Lighthouse", true], ["Old prints", true]]) {
      await folderAdmin.create(w);
      await folderAdmin.save(w, { name, enabled: true, imageFolder });
    }
    const rows = await folderAdmin.rows(w);
    const icons = Object.fromEntries(rows.map((r) => [r.name, r.icon]));
    expectEqual("the top folders", [icons.Archive, icons.Harbour, icons.Lighthouse, icons["Old prints"]],
      ["/images/folder.gif", "/images/folder_images.gif", "/images/folder_images.gif",
        "/images/folder_images.gif"]);
    if (rows.length !== 4) throw new Error(`the top level lists ${JSON.stringify(rows)}`);
  }),

  step("folders-admin-rename", "The administrator renames a folder", async (w) => {
    await folderAdmin.select(w, "Archive");
    await folderAdmin.select(w, "Old prints");
    await folderAdmin.save(w, { name: "Prints" });
    const names = await folderAdmin.names(w);
    if (!names.includes("Prints") || names.includes("Old prints")) throw new Error(`listed: ${names}`);
  }),

  step("folders-admin-move", "The administrator moves the folder into Archive", async (w) => {
    const { info } = await framesNow(w, ["info"]);
    await expectForm(info, "Folder", { name: "Prints" }, "the selected folder");
    const offered = await folderAdmin.options(w, "parent");
    if (!offered.includes("/Archive") || offered.some((o) => /Harbour|Lighthouse|Prints/.test(o))) {
      throw new Error(`the parent choice offers ${JSON.stringify(offered)}`);
    }
    await folderAdmin.save(w, { parent: "/Archive" });
    const title = await folderAdmin.title(w);
    if (title !== "Archive") throw new Error(`after the move the list shows "${title}"`);
    expectEqual("Archive after the move", await folderAdmin.names(w), ["Prints"]);
  }),

  step("folders-admin-disable", "The administrator disables the folder", async (w) => {
    await folderAdmin.save(w, { enabled: false });
    const rows = await folderAdmin.rows(w);
    expectEqual("Archive's folders", rows.map((r) => [r.name, r.icon]),
      [["..", "/images/folder.gif"], ["Prints", "/images/folder_images_disabled.gif"]]);
  }),

  step("folders-disabled-hidden", "The disabled folder is missing from the folder tree", async (w) => {
    await w.openModule(moduleById(FOLDERS));
    await folders.root(w);
    const top = await folders.subfolders(w);
    if (top.includes("Prints") || !top.includes("Archive")) throw new Error(`the top folders: ${top}`);
    await folders.open(w, "Archive");
    expectEqual("the folders in Archive", await folders.subfolders(w), []);
  }),

  step("folders-admin-delete-question", "Delete asks before the folder is deleted", async (w) => {
    await w.openModule(moduleById(FOLDER_ADMIN));
    if (await folderAdmin.title(w) !== "Archive") throw new Error("the module forgot the listed folder");
    await folderAdmin.select(w, "Prints");
    await folderAdmin.remove(w, "Prints", false);
  }),

  step("folders-admin-delete", "Yes deletes the folder", async (w) => {
    const { info } = await framesNow(w, ["info"]);
    const after = await clickReloading(w, info.locator("td.pageButton", { hasText: exactly(w.t("BUTTON_YES")) }),
      ["title", "list", "info"], "the folder administration after deleting");
    expectEqual("Archive after the deletion", await folderAdmin.names(w), []);
    expectEqual("the message after deleting", await texts(after.info, "div.message_done"), [w.t("MESSAGE_DELETED")]);
  }),

  step("folders-admin-owner", "The administrator gives a new folder to the folder administrator", async (w) => {
    await folderAdmin.up(w);
    await folderAdmin.create(w);
    await folderAdmin.save(w, { name: "Olsen albums", enabled: true, imageFolder: false,
      owner: listName(BERT) });
    const { info } = await framesNow(w, ["info"]);
    await expectForm(info, "Folder", { name: "Olsen albums", ownerId: listName(BERT) }, "the folder given away");
  }),

  step("folders-user-list", "The folder administrator may not create folders at the top", async (w) => {
    const b = await w.second();
    await b.openModule(moduleById(FOLDER_ADMIN));
    const names = await folderAdmin.names(b);
    expectEqual("the top folders", [...names].sort(), ["Archive", "Harbour", "Lighthouse", "Olsen albums"]);
    expectEqual("the buttons at the top", await folderAdmin.buttons(b), []);
    return b;
  }),

  step("folders-user-foreign", "A folder of the administrator shows no form and no buttons", async (w) => {
    const b = await w.second();
    await folderAdmin.select(b, "Harbour");
    const { info } = await framesNow(b, ["info"]);
    if (await info.locator("form").count() !== 0) throw new Error("a foreign folder shows a form");
    expectEqual("the buttons of a foreign folder", await folderAdmin.buttons(b), []);
    return b;
  }),

  step("folders-user-own", "The own folder shows the form; only the owner can be chosen", async (w) => {
    const b = await w.second();
    await folderAdmin.select(b, "Olsen albums");
    expectEqual("the owner choice", await folderAdmin.options(b, "ownerId"), [listName(BERT)]);
    expectEqual("the buttons of an own folder", await folderAdmin.buttons(b),
      [b.t("BUTTON_DELETE"), b.t("BUTTON_UPDATE")]);
    return b;
  }),

  step("folders-user-create", "The folder administrator creates two folders in the own folder", async (w) => {
    const b = await w.second();
    await folderAdmin.open(b, "Olsen albums");
    for (const [name, imageFolder] of [["Birds", true], ["Trips", false]]) {
      await folderAdmin.create(b);
      await folderAdmin.save(b, { name, enabled: true, imageFolder });
    }
    expectEqual("the own folders", [...await folderAdmin.names(b)].sort(), ["Birds", "Trips"]);
    return b;
  }),

  step("folders-user-move", "The folder administrator moves a folder, only among the own folders", async (w) => {
    const b = await w.second();
    await folderAdmin.select(b, "Birds");
    expectEqual("the parent choice", await folderAdmin.options(b, "parent"),
      ["/Olsen albums", "/Olsen albums/Trips"]);
    await folderAdmin.save(b, { parent: "/Olsen albums/Trips" });
    if (await folderAdmin.title(b) !== "Trips") throw new Error("the moved folder is not listed in Trips");
    expectEqual("Trips after the move", await folderAdmin.names(b), ["Birds"]);
    return b;
  }),

  step("folders-user-disable", "The folder administrator disables the folder", async (w) => {
    const b = await w.second();
    await folderAdmin.save(b, { enabled: false });
    const rows = (await folderAdmin.rows(b)).filter((r) => r.name === "Birds");
    expectEqual("the disabled folder", rows.map((r) => r.icon), ["/images/folder_images_disabled.gif"]);
    return b;
  }),

  step("folders-user-delete", "The folder administrator deletes the folder", async (w) => {
    const b = await w.second();
    await folderAdmin.remove(b, "Birds");
    return b;
  }),
];

const OFFER_STORY = [
  step("offer-wait", "The user offers an image to two folders of the administrator: it waits", async (w) => {
    const b = await w.second();
    const { heron, gull } = state(w).images;
    for (const [folder, offered] of [["Harbour", [gull, heron]], ["Lighthouse", [gull]]]) {
      await publishingTab(b, folder);
      for (const id of offered) {
        const after = await images.press(b, "area", id, b.t("BUTTON_PUBLISH"));
        await expectCell(after, id, { title: b.t("LABEL_WAIT"), titleClass: "imageTitle_wait",
          buttons: [b.t("BUTTON_UNPUBLISH")] }, `image ${id} offered to ${folder}`);
        expectEqual("the message after offering", await texts(after, "div.message"),
          [b.t("MESSAGE_PUBLISHED_WAITING")]);
      }
    }
    return b;
  }),

  step("offer-deny-in-folder", "The administrator denies the offer in the folder itself", async (w) => {
    const { gull } = state(w).images;
    await w.openModule(moduleById(FOLDERS));
    await folders.go(w, "Lighthouse");
    const { area } = await framesNow(w, ["area"]);
    await expectCell(area, gull, { title: fullName(BERT), titleClass: "imageTitle_wait",
      buttons: [w.t("BUTTON_ACCEPT"), w.t("BUTTON_DENY")] }, "the offer in the folder");
    const after = await images.decide(w, "area", gull, w.t("BUTTON_DENY"));
    await expectCell(after, gull, { titleClass: "imageTitle_denied", status: w.t("LABEL_DENIED"),
      buttons: [w.t("BUTTON_ACCEPT")] }, "the denied offer");
  }),

  step("offer-denied-seen", "The user sees the offer denied", async (w) => {
    const b = await w.second();
    const area = await publishingTab(b, "Lighthouse");
    await expectCell(area, state(w).images.gull, { title: b.t("LABEL_DENIED"),
      titleClass: "imageTitle_denied" }, "the denied offer");
    return b;
  }),

  step("offer-queue", "The administrator finds both offers to Harbour waiting in the acceptance module", async (w) => {
    const { heron, gull } = state(w).images;
    if (!(await w.openModule(moduleById(ACCEPTANCE)))) return false;
    const { area } = await chooseTab(w, "TAB_FOLDERS");
    expectEqual("the waiting offers", (await images.cells(area)).map((c) => c.id).sort(), [heron, gull].sort());
    for (const id of [heron, gull]) {
      await expectCell(area, id, { title: "Harbour", titleClass: "imageTitle_wait",
        buttons: [w.t("BUTTON_ACCEPT"), w.t("BUTTON_DENY")] }, "an offer waiting");
    }
  }, [ACCEPTANCE]),

  step("offer-queue-decide", "The administrator accepts one offer and denies the other", async (w) => {
    const { heron, gull } = state(w).images;
    const after = await images.decide(w, "area", gull, w.t("BUTTON_ACCEPT"));
    expectEqual("the offers after accepting the gull", (await images.cells(after)).map((c) => c.id), [heron]);
    const empty = await images.decide(w, "area", heron, w.t("BUTTON_DENY"));
    expectEqual("the offers after denying the heron", await images.cells(empty), []);
    expectEqual("the empty queue says so", await texts(empty, "div.message_empty"),
      [w.t("EMPTY_WAITING_PUBLICATIONS")]);
  }, [ACCEPTANCE]),

  step("offer-decided", "The user sees one offer published and the other denied", async (w) => {
    const b = await w.second();
    const { heron, gull } = state(w).images;
    const area = await publishingTab(b, "Harbour");
    await expectCell(area, gull, { title: b.t("LABEL_PUBLISHED"), titleClass: "imageTitle_accepted" },
      "the accepted offer");
    await expectCell(area, heron, { title: b.t("LABEL_DENIED"), titleClass: "imageTitle_denied" },
      "the denied offer");
    return b;
  }, [ACCEPTANCE]),

  step("offer-in-folder", "The folder shows the accepted offer beside the first user's image", async (w) => {
    const b = await w.second();
    const { harbour, gull } = state(w).images;
    const { area } = await chooseTab(b, "TAB_FOLDER");
    expectEqual("the images of Harbour for the user", (await images.cells(area)).map((c) => c.id).sort(),
      [harbour, gull].sort());
    await expectCell(area, gull, { title: fullName(BERT), status: pictureSize("gull") }, "the published gull");
    return b;
  }, [ACCEPTANCE]),

  step("story-logout", "Both log out", async (w) => {
    const b = await w.second();
    await b.logOut();
    await w.logOut();
  }),
];

const STEPS = [...UPLOAD_STORY, ...ADMINISTRATION_STORY, ...FOLDER_STORY, ...OFFER_STORY];

module.exports = {
  STEPS, ANNA, BERT, PICTURES, account, createAccount, uploadPicture, state, picture, logInSecond,
};
