// What the walk and its stories share: the modules of the main menu, the two accounts of a
// new database, and the helpers that compare shown texts with the translation files.
"use strict";

// The modules of the main menu, in menu order, and who sees them.
const MODULES = [
  { id: 600, key: "MENU_INTRODUCTION", shot: "introduction", frames: [], shownTo: () => true },
  { id: 400, key: "MENU_IMAGE_FOLDERS", shot: "folders", frames: ["menu", "area"],
    shownTo: () => true },
  { id: 700, key: "MENU_SEARCH_IMAGES", shot: "search", frames: ["menu", "area"],
    shownTo: () => true },
  { id: 100, key: "MENU_MY_INFORMATION", shot: "account", frames: ["menu", "area"],
    shownTo: (u) => u.id !== 1 },
  { id: 1000, key: "MENU_IMAGE_ACCEPTANCE", shot: "acceptance", frames: ["menu", "area"],
    shownTo: (u) => u.administrator },
  { id: 300, key: "MENU_USER_ADMINISTRATION", shot: "user-administration",
    frames: ["title", "list", "info"], shownTo: (u) => u.administrator },
  { id: 900, key: "MENU_FOLDER_ADMINISTRATION", shot: "folder-administration",
    frames: ["title", "list", "info"], shownTo: (u) => u.folderAdmin },
  { id: 1100, key: "MENU_SERVER_STATUS", shot: "server-status", frames: [],
    shownTo: (u) => u.administrator },
];

// The two accounts of a new database.
const ADMIN = { id: 0, username: "admin", password: "tarbo", name: "System Administrator",
  administrator: true, folderAdmin: true };
const GUEST = { id: 1, name: "User Guest", administrator: false, folderAdmin: false };

const ENTITIES = { amp: "&", lt: "<", gt: ">", quot: "\"", apos: "'", nbsp: "\u00a0",
  auml: "\u00e4", ouml: "\u00f6", uuml: "\u00fc", Auml: "\u00c4", Ouml: "\u00d6",
  Uuml: "\u00dc", szlig: "\u00df", eacute: "\u00e9", egrave: "\u00e8", agrave: "\u00e0" };

// The pages carry the texts as they stand in the files; the browser shows them decoded.
function decode(text) {
  return text.replace(/&(#x[0-9a-f]+|#[0-9]+|[a-z]+);/gi, (all, name) => {
    if (name[0] === "#") {
      const hex = name[1] === "x" || name[1] === "X";
      return String.fromCodePoint(parseInt(name.slice(hex ? 2 : 1), hex ? 16 : 10));
    }
    if (!(name in ENTITIES)) throw new Error(`unknown entity ${all} in a text`);
    return ENTITIES[name];
  });
}

const squash = (s) => String(s).replace(/\s+/g, " ").trim();

// Matches an element whose whole text is the given text.
const exactly = (text) => new RegExp("^\\s*" + text.replace(/[.*+?^${}()|[\]\\]/g, "\\$&") + "\\s*$");

// A step of the walk; requires lists the module ids it cannot do without.
const step = (name, title, run, requires = []) => ({ name, title, run, requires });

module.exports = { MODULES, ADMIN, GUEST, decode, squash, exactly, step };
