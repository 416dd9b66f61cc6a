// Fills a fresh root's database for the page benchmark: an ordinary user "bench" (password
// "bench") and an image folder "Bench" (id 1) holding <images> accepted images of that user,
// each published and accepted, with names, keywords and descriptions of usual length, and a
// link for people without an account to that folder, made by the administrator: its
// address (/s/<token>) is printed.
//
//   pages_bench <root> <images>

#include <cstdio>
#include <cstdlib>

#include "db/GDatabase.h"
#include "db/GShareLink.h"
#include "lib/core/MException.h"
#include "lib/core/MString.h"

int main(int argc, char** argv) {
  if (argc != 3 || atoi(argv[2]) < 1) {
    fprintf(stderr, "usage: pages_bench <root> <images>\n");
    return 2;
  }
  try {
    GDatabase database;
    database.setDurable(false);
    database.init(argv[1]);

    GUser user;
    user.type = 0;
    user.enabled = true;
    user.username = "bench";
    user.password = "bench";
    user.firstname = "Bench";
    user.lastname = "Marker";
    user.imageUpload = true;
    user.imageLimit = 10000;
    int userId = database.addUser(user);

    GFolder folder;
    folder.parentId = 0;
    folder.enabled = true;
    folder.name = "Bench";
    folder.imageFolder = true;
    folder.ownerId = 0;
    int folderId = database.addFolder(folder);
    if (folderId != 1) {
      fprintf(stderr, "pages_bench: the root's database is not empty\n");
      return 1;
    }

    for (int i = 0; i < atoi(argv[2]); ++i) {
      GImage image;
      image.user = userId;
      image.status = GIMAGE_ACCEPTED;
      image.date = "2004-05-06";
      image.width = 1600;
      image.height = 1200;
      image.size = 734512;
      image.name = MString::format("Harbour at dawn %d", i);
      image.keywords = "harbour dawn boats sea light morning";
      image.description = "Fishing boats in the harbour, shortly before sunrise.";
      database.addImage(image);
      database.addFolderImage(folderId, image.id, GIMAGE_ACCEPTED);
    }
    GShareLink link;
    link.kind = GShareLink::FOLDER;
    link.target = folderId;
    link.maker = 0;
    GShareLink::newToken(link.token);
    database.addShareLink(link);
    printf("/s/%s\n", link.tokenText().getValue());
  } catch (const MException& _failure) {
    fprintf(stderr, "pages_bench: the database could not be filled\n");
    return 1;
  }
  return 0;
}
