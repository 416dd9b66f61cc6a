#!/usr/bin/env python3
"""Checks the installation data in root-template/ and the command scripts/make-root.sh.

    check_root_template.py <source-dir>

The configuration files are read with the server's own line rules: a line whose first
character is '#' is a comment; otherwise the key is the text between the first '[' and the
next ']', the value the text between the following '[' and ']'; lines without both pairs
are ignored; nothing is trimmed; a repeated key makes the whole file unusable.
"""

import html.entities
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else
                         os.path.join(os.path.dirname(__file__), "..", ".."))
TEMPLATE = os.path.join(SOURCE, "root-template")
CONFIG = os.path.join(TEMPLATE, "config")
WEB = os.path.join(TEMPLATE, "web")
MAKE_ROOT = os.path.join(SOURCE, "scripts", "make-root.sh")
VIEWS = os.path.join(SOURCE, "views")

TRANSLATION_KEYS = [
    "BUTTON_ACCEPT", "BUTTON_DELETE", "BUTTON_DENY", "BUTTON_GUEST_LOGIN", "BUTTON_LOGIN",
    "BUTTON_NEW", "BUTTON_NO", "BUTTON_PUBLISH", "BUTTON_SEARCH", "BUTTON_UPDATE",
    "BUTTON_UPLOAD", "BUTTON_YES",
    "LABEL_ACCEPTED", "LABEL_ACCOUNT_ENABLED", "LABEL_DENIED", "LABEL_EMAIL_ADDRESS",
    "LABEL_FIRST_NAME", "LABEL_FOLDER_ACCEPT", "LABEL_FOLDER_ADMINISTRATION",
    "LABEL_FOLDER_ENABLED", "LABEL_FOLDER_NAME", "LABEL_FOLDER_OWNER", "LABEL_IMAGE_ACCEPT",
    "LABEL_IMAGE_DATE", "LABEL_IMAGE_DESCRIPTION", "LABEL_IMAGE_DOWNLOAD", "LABEL_IMAGE_FOLDER",
    "LABEL_IMAGE_KEYWORDS", "LABEL_IMAGE_LIMIT", "LABEL_IMAGE_NAME", "LABEL_IMAGE_NUMBER",
    "LABEL_IMAGE_OWNER", "LABEL_IMAGE_SIZE", "LABEL_IMAGE_UPLOAD", "LABEL_LAST_NAME",
    "LABEL_NAME", "LABEL_NOT_PUBLISHED", "LABEL_PARENT_FOLDER", "LABEL_PASSWORD",
    "LABEL_PASSWORD_CONFIRMATION", "LABEL_PUBLISHED", "LABEL_SEARCH_WORDS", "LABEL_USERNAME",
    "LABEL_USER_NUMBER", "LABEL_USER_TYPE", "LABEL_WAIT",
    "MENU_FOLDER_ADMINISTRATION", "MENU_HELP", "MENU_IMAGE_ACCEPTANCE", "MENU_IMAGE_FOLDERS",
    "MENU_INTRODUCTION", "MENU_LOGOUT", "MENU_MY_INFORMATION", "MENU_SEARCH_IMAGES",
    "MENU_USER_ADMINISTRATION",
    "MESSAGE_LOGIN_BUSY", "MESSAGE_LOGIN_FAILED", "MESSAGE_LOGIN_THROTTLED",
    "MESSAGE_PASSWORDS_DIFFER", "MESSAGE_PASSWORD_MISSING",
    "QUESTION_DELETE_FOLDER", "QUESTION_DELETE_IMAGE", "QUESTION_DELETE_USER",
    "TAB_FOLDER", "TAB_FOLDERS", "TAB_IMAGES", "TAB_MY_IMAGES", "TAB_USERS",
    "TAB_USER_INFORMATION",
    "TEXT_ALLOWED", "TEXT_NEW_FOLDER", "TEXT_NOT_ALLOWED", "TEXT_NOT_REQUIRED", "TEXT_REQUIRED",
    "TITLE_DELETE_FOLDER", "TITLE_DELETE_IMAGE", "TITLE_DELETE_USER", "TITLE_FOLDERS",
    "TITLE_IMAGE_ACCEPTANCE", "TITLE_USER_ADMINISTRATION",
    "TYPE_ADMINISTRATOR", "TYPE_USER",
    "WORD_NO", "WORD_YES",
    "BUTTON_BACK_TO_MY_ACCOUNT", "BUTTON_DOWNLOAD", "BUTTON_UNPUBLISH", "EMPTY_FOLDER",
    "EMPTY_FOLDER_PUBLISH", "EMPTY_OWN_IMAGES", "EMPTY_SEARCH", "EMPTY_WAITING_IMAGES",
    "EMPTY_WAITING_PUBLICATIONS", "MESSAGE_ACCEPTED", "MESSAGE_ACTING_AS", "MESSAGE_DELETED",
    "MESSAGE_DENIED", "MESSAGE_IMAGE_WAITING", "MESSAGE_LOGGED_OUT", "MESSAGE_PUBLISHED",
    "MESSAGE_PUBLISHED_WAITING", "MESSAGE_SAVED", "MESSAGE_SESSION_EXPIRED", "MESSAGE_UNPUBLISHED",
    "QUESTION_UNPUBLISH_IMAGE", "VIEWER_HELP", "VIEWER_POSITION_OF", "VIEWER_PREVIOUS",
    "VIEWER_NEXT", "VIEWER_SLIDESHOW", "VIEWER_CLOSE",
]
# The outcomes of an upload and the summary of many files sent at once.
# The pages of links for people without an account (views/GLinkView, webapp/GShareVisit).
LINK_KEYS = [
    "LINK_BACK", "LINK_EMPTY", "LINK_ENDED", "LINK_ENDED_TITLE", "LINK_NEXT",
    "LINK_NOT_FOUND", "LINK_NOT_FOUND_TITLE", "LINK_PICTURE_COUNT", "LINK_PREVIOUS",
    "LINK_SLIDESHOW", "LINK_THROTTLED", "LINK_THROTTLED_TITLE", "LINK_VIEWER_HELP",
    "LINK_PASSWORD_TITLE", "LINK_PASSWORD_TEXT", "LINK_PASSWORD_WRONG", "LINK_PASSWORD_WAIT",
    "BUTTON_OPEN", "LABEL_LINK_PASSWORD",
    "LINK_CONTRIBUTION_LIMIT", "LINK_CONTRIBUTOR_NAME", "BUTTON_CONTRIBUTE", "LINK_CONTRIBUTE_AS",
    "LINK_CONTRIBUTION_VIA", "LINK_CONTRIBUTION_FROM", "LINK_BUSY",
    "BUTTON_COPY", "BUTTON_END", "BUTTON_EXTEND", "BUTTON_MAKE_LINK", "BUTTON_SHARE",
    "LABEL_LINK_CONTRIBUTIONS", "LABEL_LINK_EXPIRES", "LABEL_LINK_NAME", "LABEL_LINK_ORIGINALS",
    "LINK_ADDRESS", "LINK_CONTRIBUTIONS", "LINK_DAYS", "LINK_DOWNLOADS", "LINK_EXPIRES",
    "LINK_KIND_FOLDER", "LINK_KIND_PICTURE", "LINK_LAST_OPENED", "LINK_MADE", "LINK_MAKER",
    "LINK_NEVER", "LINK_ONE_DAY", "LINK_ON_DATE", "LINK_OPENED", "LINK_PASSWORD",
    "LINK_SEVEN_DAYS", "LINK_SHOWS", "LINK_STATE_ENDED", "LINK_STATE_EXPIRED",
    "LINK_THIRTY_DAYS", "MESSAGE_LINK_DATE_PASSED", "MESSAGE_LINK_ENDED",
    "MESSAGE_LINK_EXTENDED", "MESSAGE_LINK_MADE", "MESSAGE_NO_LINKS", "QUESTION_END_LINK",
    "TAB_MY_LINKS", "TITLE_END_LINK", "TITLE_SHARE_FOLDER", "TITLE_SHARE_PICTURE",
]

UPLOAD_KEYS = [
    "LABEL_UPLOAD_REFUSED", "LABEL_UPLOAD_STORED", "LABEL_UPLOAD_WAITING",
    "MESSAGE_UPLOAD_AT_LIMIT", "MESSAGE_UPLOAD_DISK_FULL", "MESSAGE_UPLOAD_FAILED", "MESSAGE_UPLOAD_NOT_ALLOWED",
    "MESSAGE_UPLOAD_NOT_JPEG", "MESSAGE_UPLOAD_NO_FILE", "MESSAGE_UPLOAD_STORED",
    "MESSAGE_UPLOAD_TOO_LARGE", "MESSAGE_UPLOAD_WAITING",
]

# The administration's server status page.
STATUS_KEYS = [
    "MENU_SERVER_STATUS", "TITLE_SERVER_STATUS", "STATUS_UPTIME", "STATUS_CONNECTIONS",
    "STATUS_STAGE_idle", "STATUS_STAGE_reading", "STATUS_STAGE_working", "STATUS_STAGE_writing",
    "STATUS_SESSIONS", "STATUS_SESSIONS_guest_account", "STATUS_SESSIONS_ordinary",
    "STATUS_SESSIONS_privileged", "STATUS_QUEUE_work", "STATUS_QUEUE_login",
    "STATUS_AVERAGE_WAIT", "STATUS_REQUESTS_PER_MINUTE", "STATUS_DISK_FREE", "STATUS_MEMORY",
    "STATUS_RECORDS_user", "STATUS_RECORDS_image", "STATUS_RECORDS_folder",
    "STATUS_RECORDS_folderImage", "STATUS_RECORDS_sharelink", "STATUS_LAST_BACKUP", "STATUS_NO_BACKUP", "STATUS_VERSION",
]

# The pictures the pages show.
ICONS = [
    "ball.gif", "folder.gif", "folder_disabled.gif", "folder_images.gif",
    "folder_images_disabled.gif", "folder_up.gif", "multiview.gif", "user_admin.gif",
    "user_disabled.gif", "user_enabled.gif", "user_upload.gif",
]

# The style classes the pages use; the image title and status cells also come with a
# suffix per status.
STATUS_SUFFIXES = ["", "_wait", "_accepted", "_denied", "_unpublished"]
STYLE_CLASSES = [
    "pageNum", "pageNumSelected",
    "title", "topBar", "menu", "menuSelected", "statusBar", "login", "loginCaption",
    "loginCanvas", "loginLabel", "loginValue", "loginButton", "loginMessage",
    "message", "message_done", "message_note", "message_empty", "message_refused",
    "tab", "tabSelected", "pageTitle", "folderPath", "folder", "imageFolder",
    "searchLabel", "searchValue", "pageButton", "input", "value",
    "userAttribute", "userValue", "dialogTitle", "dialogText", "browseButton", "uploadButton",
    "userTitle", "userList",
    "folderList", "folderTitle", "folderAttribute", "folderValue",
    "imageButton", "imageAttribute", "imageValue",
] + ["imageTitle" + s for s in STATUS_SUFFIXES] + ["imageStatusbar" + s for s in STATUS_SUFFIXES]

SCRIPT_FUNCTIONS = [
    "mouseOver", "mouseOut", "mouseClick", "mouseClick2", "openWindow", "openImageWindow",
    "activateUpdateButton", "updateImage", "updateUser", "updateUser2", "updateFolder",
    "login", "search",
]

REQUIRED_MIME_EXTENSIONS = [
    "html", "htm", "css", "js", "gif", "jpg", "jpeg", "png", "ico", "svg", "pdf", "txt",
    "json", "woff", "woff2",
]

CONFIG_INTEGER_KEYS = [
    "server.port", "session.timeout", "session.adminTimeout", "session.max", "session.guestMax",
    "images.original.maxSize",
    "images.preview1.quality", "images.preview2.quality", "upload.spoolBudget",
    "upload.freeSpaceReserve", "link.defaultDays", "link.contributionsPerDay",
]

# Request bodies of this size or more are never stored by the HTTP layer.
BODY_LIMIT = 20000000


class DuplicateKey(Exception):
    pass


def parse_pairs(path):
    """The (key, value) pairs of a configuration file, in file order."""
    pairs = []
    seen = set()
    with open(path, "rb") as f:
        data = f.read()
    for raw in data.split(b"\n"):
        line = raw.decode("latin-1")
        if line.startswith("#"):
            continue
        a = line.find("[")
        b = line.find("]", a + 1) if a >= 0 else -1
        c = line.find("[", b + 1) if b >= 0 else -1
        d = line.find("]", c + 1) if c >= 0 else -1
        if d < 0:
            continue
        key, value = line[a + 1:b], line[c + 1:d]
        if key in seen:
            raise DuplicateKey("%s: key %s repeated" % (path, key))
        seen.add(key)
        pairs.append((key, value))
    return pairs


def read_text(path):
    with open(path, "rb") as f:
        return f.read().decode("latin-1")


def view_sources():
    """The C++ sources of the views, when they exist: the pages are written there."""
    texts = []
    if os.path.isdir(VIEWS):
        for dirpath, _, files in os.walk(VIEWS):
            for name in sorted(files):
                if name.endswith((".cpp", ".h")):
                    texts.append(read_text(os.path.join(dirpath, name)))
    return texts


def static_pages():
    pages = []
    for dirpath, _, files in os.walk(WEB):
        for name in sorted(files):
            if name.endswith(".html"):
                pages.append(os.path.join(dirpath, name))
    return pages


def languages():
    return parse_pairs(os.path.join(CONFIG, "languages.cfg"))


def css_classes(css):
    css = re.sub(r"/\*.*?\*/", "", css, flags=re.S)
    selectors = " ".join(re.findall(r"([^{}]*)\{", css))
    return set(re.findall(r"\.([A-Za-z_][A-Za-z0-9_-]*)", selectors))


def gif_size(path):
    if not os.path.isfile(path):
        return None
    with open(path, "rb") as f:
        head = f.read(10)
    if head[:6] not in (b"GIF87a", b"GIF89a"):
        return None
    return head[6] | head[7] << 8, head[8] | head[9] << 8


class TranslationTest(unittest.TestCase):

    def translation_files(self):
        files = sorted(n for n in os.listdir(CONFIG) if n.startswith("translations."))
        self.assertTrue(files, "no translation file")
        return files

    def test_every_file_defines_exactly_the_keys_once(self):
        for name in self.translation_files():
            with self.subTest(file=name):
                keys = [k for k, _ in parse_pairs(os.path.join(CONFIG, name))]
                self.assertEqual(len(keys), len(set(keys)))
                self.assertEqual(sorted(keys), sorted(TRANSLATION_KEYS + UPLOAD_KEYS + STATUS_KEYS + LINK_KEYS))
        self.assertEqual(len(TRANSLATION_KEYS), 111)
        self.assertEqual(len(set(TRANSLATION_KEYS)), 111)

    def test_texts_are_safe_in_pages_attributes_and_urls(self):
        entity = re.compile(r"&(#[0-9]+|[A-Za-z][A-Za-z0-9]*);")
        for name in self.translation_files():
            for key, value in parse_pairs(os.path.join(CONFIG, name)):
                with self.subTest(file=name, key=key):
                    self.assertTrue(value, "empty text")
                    self.assertEqual(value, value.strip(), "blank at either end")
                    self.assertRegex(value, r"^[\x20-\x7e]*$", "not plain ASCII: use entities")
                    # Some texts stand in attribute values and in script strings.
                    for c in "\"'\\<>":
                        self.assertNotIn(c, value)
                    for m in re.finditer("&", value):
                        e = entity.match(value, m.start())
                        self.assertIsNotNone(e, "bare &")
                        ref = e.group(1)
                        if not ref.startswith("#"):
                            self.assertIn(ref, html.entities.name2codepoint, "unknown entity")
                    if key.startswith("QUESTION_"):
                        self.assertFalse(value.endswith("?"), "the page adds the question mark")
                    if key == "TEXT_NEW_FOLDER":
                        # Goes unescaped into a URL inside a script string.
                        self.assertRegex(value, r"^[A-Za-z0-9 ]+$")

    def test_languages_have_translations_introduction_and_manual(self):
        langs = languages()
        self.assertIn("eng", [code for code, _ in langs])
        self.assertGreaterEqual(len(langs), 2)
        for code, display in langs:
            with self.subTest(language=code):
                self.assertRegex(code, r"^[a-z]{2,8}$")
                self.assertTrue(display)
                self.assertTrue(os.path.isfile(os.path.join(CONFIG, "translations." + code)))
                self.assertTrue(os.path.isfile(os.path.join(WEB, code, "introduction.html")))
                # The help link of the top bar opens the manual of the session's language.
                with open(os.path.join(WEB, code, "User_manual_1_0.pdf"), "rb") as f:
                    manual = f.read()
                self.assertTrue(manual.startswith(b"%PDF-"))
                self.assertIn(b"%%EOF", manual[-1024:])
        listed = {code for code, _ in langs}
        for name in self.translation_files():
            self.assertIn(name[len("translations."):], listed, "translation file of no language")


class ConfigurationTest(unittest.TestCase):

    def test_configuration_values(self):
        conf = dict(parse_pairs(os.path.join(CONFIG, "config.cfg")))
        for key in CONFIG_INTEGER_KEYS:
            with self.subTest(key=key):
                self.assertRegex(conf.get(key, ""), r"^[0-9]+$")
        self.assertEqual(conf["server.port"], "9400")
        self.assertGreater(int(conf["session.timeout"]), 60)
        self.assertIn(conf.get("session.defaultLanguage"), [c for c, _ in languages()])
        # Bodies of BODY_LIMIT bytes are never stored, so a larger limit would only mislead.
        self.assertTrue(0 < int(conf["images.original.maxSize"]) < BODY_LIMIT)
        for key in ("images.preview1.quality", "images.preview2.quality"):
            self.assertTrue(1 <= int(conf[key]) <= 100, key)

    def test_mime_list(self):
        mime = parse_pairs(os.path.join(CONFIG, "mime.cfg"))
        types = dict(mime)
        for ext, value in mime:
            with self.subTest(extension=ext):
                self.assertRegex(ext, r"^[a-z0-9]{1,49}$")
                self.assertRegex(value, r"^[a-z]+/[a-z0-9.+-]+$")
        for ext in REQUIRED_MIME_EXTENSIONS:
            self.assertIn(ext, types)
        self.assertEqual(types["css"], "text/css")
        self.assertEqual(types["gif"], "image/gif")
        self.assertEqual(types["jpg"], "image/jpeg")

    def test_parser_rules_reject_what_the_server_rejects(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "x.cfg")
            with open(path, "wb") as f:
                f.write(b"#[a][comment]\n[a][1]\r\nno pair here\n[b][]\n")
            self.assertEqual(parse_pairs(path), [("a", "1"), ("b", "")])
            with open(path, "ab") as f:
                f.write(b"[a][2]\n")
            with self.assertRaises(DuplicateKey):
                parse_pairs(path)


class WebFilesTest(unittest.TestCase):

    def test_icons_named_by_the_pages_are_small_gifs(self):
        names = set(ICONS)
        for text in view_sources():
            names.update(re.findall(r"/images/([A-Za-z0-9_]+\.gif)", text))
        for name in sorted(names):
            with self.subTest(icon=name):
                size = gif_size(os.path.join(WEB, "images", name))
                self.assertIsNotNone(size, "missing or not a GIF")
                self.assertTrue(1 <= size[0] <= 32 and 1 <= size[1] <= 32, size)

    def test_style_sheet_defines_every_class_of_the_pages(self):
        # The link pages have a style sheet of their own.
        defined = css_classes(read_text(os.path.join(WEB, "style.css")))
        defined |= css_classes(read_text(os.path.join(WEB, "link.css")))
        used = set(STYLE_CLASSES)
        for text in view_sources():
            used.update(re.findall(r'class=\\"([A-Za-z_][A-Za-z0-9_-]*)\\"', text))
        for page in static_pages():
            used.update(re.findall(r'class="([A-Za-z_][A-Za-z0-9_-]*)"', read_text(page)))
        self.assertEqual(sorted(used - defined), [])

    def test_script_defines_every_function_of_the_pages(self):
        script = read_text(os.path.join(WEB, "scripts.js"))
        defined = set(re.findall(r"^function\s+([A-Za-z_][A-Za-z0-9_]*)\s*\(", script, re.M))
        used = set(SCRIPT_FUNCTIONS)
        for text in view_sources():
            for handler in re.findall(r'on[A-Za-z]+=\\"([^"\\]*)', text):
                # Methods of browser objects (location.replace) are not the script's.
                used.update(re.findall(r"(?<![.\w])([A-Za-z_][A-Za-z0-9_]*)\(", handler))
        used -= {"if", "focus"}
        self.assertEqual(sorted(used - defined), [])

    def test_static_text_files_are_ascii(self):
        # The pages declare no character set: ASCII reads the same in any of them.
        paths = [os.path.join(WEB, "scripts.js"), os.path.join(WEB, "style.css")]
        paths += static_pages()
        paths += [os.path.join(CONFIG, n) for n in os.listdir(CONFIG)]
        for path in paths:
            with self.subTest(file=os.path.relpath(path, TEMPLATE)):
                with open(path, "rb") as f:
                    data = f.read()
                self.assertTrue(all(b < 0x80 for b in data))
                self.assertNotIn(b"\r", data)

    def test_introduction_pages_are_complete_documents(self):
        for code, _ in languages():
            with self.subTest(language=code):
                text = read_text(os.path.join(WEB, code, "introduction.html"))
                self.assertRegex(text, r"(?is)^\s*<html>.*<body[^>]*>.*</body>\s*</html>\s*$")
                self.assertIn('href="/style.css"', text)
                self.assertIn('<META name="viewport" content="width=device-width, initial-scale=1">', text)


class MakeRootTest(unittest.TestCase):

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="vistrel root ")
        self.build = os.path.join(self.tmp, "build")
        self.program = os.path.join(self.build, "bin", "vistrel")
        os.makedirs(os.path.dirname(self.program))
        self.write_program(b"#!/bin/sh\necho first\n")
        self.root = os.path.join(self.tmp, "my root")

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def write_program(self, content):
        with open(self.program, "wb") as f:
            f.write(content)
        os.chmod(self.program, 0o755)

    def make_root(self, *args):
        return subprocess.run(["bash", MAKE_ROOT] + list(args), capture_output=True, text=True)

    def lay_out(self):
        result = self.make_root(self.root, self.build)
        self.assertEqual(result.returncode, 0, result.stderr)

    def read(self, rel):
        with open(os.path.join(self.root, rel), "rb") as f:
            return f.read()

    def template_files(self):
        files = []
        for dirpath, _, names in os.walk(TEMPLATE):
            for name in names:
                if name != ".gitkeep":
                    files.append(os.path.relpath(os.path.join(dirpath, name), TEMPLATE))
        return sorted(files)

    def test_lays_out_a_new_root(self):
        self.lay_out()
        for rel in self.template_files():
            with self.subTest(file=rel):
                with open(os.path.join(TEMPLATE, rel), "rb") as f:
                    self.assertEqual(self.read(rel), f.read())
        for rel in ("database", "images/original", "images/preview1", "images/preview2",
                    "images/preview2x", "images/screen"):
            with self.subTest(folder=rel):
                self.assertEqual(os.listdir(os.path.join(self.root, rel)), [])
        self.assertEqual(self.read("bin/vistrel"), b"#!/bin/sh\necho first\n")
        self.assertTrue(os.stat(os.path.join(self.root, "bin/vistrel")).st_mode & stat.S_IXUSR)

    def test_second_run_keeps_data_and_refreshes_only_the_program(self):
        self.lay_out()
        db = os.path.join(self.root, "database", "user.db")
        with open(db, "wb") as f:
            f.write(b"records")
        with open(os.path.join(self.root, "config", "config.cfg"), "wb") as f:
            f.write(b"[server.port][8080]\n")
        os.remove(os.path.join(self.root, "web", "style.css"))
        self.write_program(b"#!/bin/sh\necho second\n")

        self.lay_out()
        self.assertEqual(self.read("database/user.db"), b"records")
        self.assertEqual(self.read("config/config.cfg"), b"[server.port][8080]\n")
        # A root with data keeps its web folder as its owner left it.
        self.assertFalse(os.path.exists(os.path.join(self.root, "web", "style.css")))
        self.assertEqual(self.read("bin/vistrel"), b"#!/bin/sh\necho second\n")
        self.assertEqual(sorted(os.listdir(os.path.join(self.root, "bin"))), ["vistrel"])

    def test_root_without_data_gets_missing_files_but_keeps_changed_ones(self):
        os.makedirs(os.path.join(self.root, "config"))
        with open(os.path.join(self.root, "config", "config.cfg"), "wb") as f:
            f.write(b"[server.port][8080]\n")
        self.lay_out()
        self.assertEqual(self.read("config/config.cfg"), b"[server.port][8080]\n")
        self.assertTrue(os.path.isfile(os.path.join(self.root, "config", "mime.cfg")))
        self.assertTrue(os.path.isfile(os.path.join(self.root, "web", "scripts.js")))

    def test_refuses_bad_calls_without_touching_anything(self):
        cases = [
            ([], 2),
            ([self.root], 2),
            ([self.root, os.path.join(self.tmp, "no build")], 1),
        ]
        for args, code in cases:
            with self.subTest(args=args):
                result = self.make_root(*args)
                self.assertEqual(result.returncode, code)
                self.assertTrue(result.stderr)
                self.assertFalse(os.path.exists(self.root))
        a_file = os.path.join(self.tmp, "plain file")
        open(a_file, "wb").close()
        self.assertEqual(self.make_root(a_file, self.build).returncode, 1)

    def test_service_option_gives_the_server_only_what_it_writes(self):
        if os.geteuid() != 0 or not shutil.which("useradd") or not shutil.which("runuser"):
            self.skipTest("needs root, useradd and runuser")
        user = "vistrel-check-%d" % os.getpid()
        env = dict(os.environ, VISTREL_SERVICE_USER=user)
        self.addCleanup(subprocess.run, ["userdel", user], capture_output=True)
        service = lambda: subprocess.run(["bash", MAKE_ROOT, self.root, self.build, "--service"],
                                         capture_output=True, text=True, env=env)

        # The temporary folder above the root is closed to everybody else: said, not hidden.
        result = service()
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertIn("cannot reach", result.stderr)
        os.chmod(self.tmp, 0o755)
        result = service()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertNotIn("Made the system user", result.stdout)  # made by the first run

        group = subprocess.run(["id", "-g", user], capture_output=True, text=True).stdout.strip()
        uid = subprocess.run(["id", "-u", user], capture_output=True, text=True).stdout.strip()
        owners = {"": (0, int(group)), "bin/vistrel": (0, 0), "config/config.cfg": (0, int(group)),
                  "web/style.css": (0, int(group))}
        for rel in ("database", "images", "images/original", "images/preview2", "tmp"):
            owners[rel] = (int(uid), int(group))
        for rel, (owner, grp) in owners.items():
            with self.subTest(path=rel):
                info = os.stat(os.path.join(self.root, rel))
                self.assertEqual((info.st_uid, info.st_gid), (owner, grp))
                self.assertFalse(info.st_mode & stat.S_IWOTH)
        self.assertEqual(stat.S_IMODE(os.stat(self.root).st_mode), 0o750)

        def may(test, rel):
            return subprocess.run(["runuser", "-u", user, "--", "test", test,
                                   os.path.join(self.root, rel)]).returncode == 0
        cases = [("-r", "config/config.cfg", True), ("-r", "web/style.css", True),
                 ("-x", "bin/vistrel", True), ("-w", "bin/vistrel", False), ("-w", "bin", False),
                 ("-w", "config/config.cfg", False), ("-w", "config", False), ("-w", "", False),
                 ("-w", "database", True), ("-w", "images/original", True), ("-w", "tmp", True)]
        for test, rel, allowed in cases:
            with self.subTest(check=test, path=rel):
                self.assertEqual(may(test, rel), allowed)

        # A run without root is refused before anything changes.
        refused = subprocess.run(["runuser", "-u", user, "--", "bash", MAKE_ROOT, self.root,
                                  self.build, "--service"], capture_output=True, text=True, env=env)
        self.assertEqual(refused.returncode, 1)
        self.assertIn("as root", refused.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
