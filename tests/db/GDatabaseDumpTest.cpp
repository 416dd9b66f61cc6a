#include <gtest/gtest.h>

#include <string>

#include "db/GDatabase.h"
#include "lib/core/MException.h"
#include "tests/db/DbTestSupport.h"

namespace {

const std::string kTable = "<table style=\"Font-Family: Arial;  Font-size: 12;\" border=1>\n";
const std::string kHead = "<tr style=\"Font-weight: bold; background: #E0E000;\">";

const std::string kUsersHead =
    kHead +
    "<td>Id</td><td>Type</td><td>Enabled</td><td width=100>Lastname</td>"
    "<td width=100>Firstname</td><td width=100>Email</td><td width=100>Username</td>"
    "<td width=100>Password</td><td>Images</td><td>Download</td><td>Upload</td>"
    "<td>ImageAccept</td><td>FolderAccept</td><td>FolderAdmin</td></tr>\n";
const std::string kFoldersHead =
    kHead +
    "<td>Id</td><td>Parent</td><td>Enabled</td><td>ImageFolder</td><td width=200>Name</td>"
    "<td>Owner</td></tr>\n";
const std::string kImagesHead =
    kHead +
    "<td>Id</td><td>CreationTime</td><td>Status</td><td>User</td><td>Width</td><td>Height</td>"
    "<td>Date</td><td>Name</td><td>Keywords</td><td>Description</td></tr>\n";
const std::string kLinksHead =
    kHead + "<td>CreationTime</td><td>Folder</td><td>Image</td><td>User</td><td>Status</td></tr>\n";

// The links for people without an account: never the tokens nor the password hashes.
const std::string kShareLinksHead =
    "<tr style=\"Font-weight: bold; background: #E0E000;\"><td>Id</td><td>Kind</td>"
    "<td>Target</td><td>Maker</td><td>State</td><td>Created</td><td>Expires</td>"
    "<td>Password</td><td>Originals</td><td>Contributions</td><td>Opened</td>"
    "<td>LastOpened</td></tr>\n";

std::string document(const std::string& _users, const std::string& _folders,
                     const std::string& _images, const std::string& _links) {
  return "<html><body style=\"Font-Family: Arial; Font-size: 12;\">\n"
         "<H1>Users</H1>\n" + kTable + kUsersHead + _users + "</table>\n"
         "<H1>Folders</H1>\n" + kTable + kFoldersHead + _folders + "</table>\n"
         "<H1>Images</H1>\n" + kTable + kImagesHead + _images + "</table>\n"
         "<H1>Folder images</H1>\n" + kTable + kLinksHead + _links + "</table>\n"
         "<H1>Share links</H1>\n" + kTable + kShareLinksHead + "</table>\n"
         "</body></html>\n";
}

const std::string kAdminRow =
    "<tr><td>0</td><td>1</td><td>1</td><td>Administrator</td><td>System</td><td></td>"
    "<td>admin</td><td>(hashed)</td><td>10000</td><td>1</td><td>0</td><td>0</td><td>0</td>"
    "<td>1</td></tr>\n";
const std::string kGuestRow =
    "<tr><td>1</td><td>0</td><td>1</td><td>Guest</td><td>User</td><td></td><td>guest</td>"
    "<td>(hashed)</td><td>0</td><td>0</td><td>0</td><td>1</td><td>1</td><td>0</td></tr>\n";
const std::string kRootRow =
    "<tr><td>0</td><td>-1</td><td>1</td><td>0</td><td>Folders</td><td>0</td></tr>\n";

}  // namespace

TEST(GDatabaseDump, FreshDatabaseAsAWholeDocument) {
  TempRoot root;
  GDatabase db;
  db.init(root.path.c_str());
  std::string out = root.path + "/vistrel_db.html";
  db.htmlDump(out.c_str());
  EXPECT_EQ(document(kAdminRow + kGuestRow, kRootRow, "", ""), readText(out));
}

TEST(GDatabaseDump, FreeRecordsAreListedTextsEscapedAndTornTailsLeftOut) {
  TempRoot root;
  ClockedDatabase db;
  db.init(root.path.c_str());
  GUser user;
  user.username = "<b>\"x\" & 'y'</b>";
  db.addUser(user);
  db.addUser(user);
  db.deleteUser(2);
  db.now = 3000000000u;  // shown unsigned
  GImage image;
  image.user = 3;
  image.status = 1;
  image.width = -2;
  image.height = 600;
  image.date = "2001";
  image.name = "a<b";
  image.keywords = "k&w";
  image.description = "d>e";
  db.addImage(image);
  db.addFolderImage(0, 0, 1);
  db.deleteFolderImage(0, 0);
  appendBytes(root.file("image.db"), Bytes(100, 0x41));

  std::string out = root.path + "/dump.html";
  db.htmlDump(out.c_str());
  std::string freedRow =
      "<tr><td>-1</td><td>0</td><td>0</td><td></td><td></td><td></td><td></td><td>(none)</td>"
      "<td>0</td><td>0</td><td>0</td><td>0</td><td>0</td><td>0</td></tr>\n";
  std::string userRow =
      "<tr><td>3</td><td>0</td><td>0</td><td></td><td></td><td></td>"
      "<td>&lt;b&gt;&quot;x&quot; &amp; &#39;y&#39;&lt;/b&gt;</td><td>(none)</td><td>100</td>"
      "<td>0</td><td>0</td><td>1</td><td>1</td><td>0</td></tr>\n";
  std::string imageRow =
      "<tr><td>0</td><td>3000000000</td><td>1</td><td>3</td><td>-2</td><td>600</td>"
      "<td>2001</td><td>a&lt;b</td><td>k&amp;w</td><td>d&gt;e</td></tr>\n";
  std::string linkRow = "<tr><td>3000000000</td><td>-1</td><td>-1</td><td>-1</td><td>1</td></tr>\n";
  EXPECT_EQ(document(kAdminRow + kGuestRow + freedRow + userRow, kRootRow, imageRow, linkRow),
            readText(out));
}

TEST(GDatabaseDump, UnopenableFileIsReportedOnStandardError) {
  TempRoot root;
  GDatabase db;
  db.init(root.path.c_str());
  std::string out = root.path + "/missing/dir/dump.html";
  testing::internal::CaptureStderr();
  db.htmlDump(out.c_str());
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ("GDatabase::htmlDump(): Cannot open file (" + out + ")!\n", err);
  EXPECT_NE(0, access(out.c_str(), F_OK));
}

TEST(GDatabaseDump, WriteFailureIsNotReportedAsSuccess) {
  TempRoot root;
  GDatabase db;
  db.init(root.path.c_str());
  try {
    db.htmlDump("/dev/full");
    FAIL() << "no failure";
  } catch (const MException& e) {
    EXPECT_STREQ("void GDatabase::htmlDump(char *_filename)", e.getLocation().getValue());
    ASSERT_NE(nullptr, e.getInner());
    EXPECT_STREQ("Cannot write the file (/dev/full)!", e.getInner()->getMessage().getValue());
  }
}
