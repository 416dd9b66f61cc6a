#ifndef VISTREL_GRIGHTS_H
#define VISTREL_GRIGHTS_H

class GFolder;
class GImage;
class GSession;
class GShareLink;
class GUser;

// Who may see, change and decide what: the one place where the views, the actions and the
// dispatch learn it, so that a page that offers something and the request that carries it
// out never disagree. Nothing outside this class decides by a user's type or right flags;
// display code may still show them (tests/layers/check_rights.py keeps it so).
//
// Every answer is about the session's user as the session holds it; the shared guest session
// has nobody logged in (user id -1) and may nothing beyond the login pages.
class GRights {
 public:
  // The value of a user's type for administrators.
  static const int administratorType = 1;
  // The value of a user's type for ordinary users.
  static const int ordinaryType = 0;
  // The administrator account, which also counts as the owner of the folder tree's root.
  static const int administratorAccountId = 0;
  // The guest account: an ordinary account that the login page's guest button opens.
  static const int guestAccountId = 1;
  // The id of the folder tree's root, which has no record of its own.
  static const int rootFolderId = 0;

  // Who the session is.
  // Somebody is logged in (the shared guest session has nobody, user id -1).
  static bool isLoggedIn(const GSession& _session);
  static bool isAdministrator(const GSession& _session);
  static bool isAdministrator(const GUser& _user);
  // The shared guest account: it owns no images and has no account of its own to keep.
  static bool isGuestAccount(const GSession& _session);
  // A session an administrator opened as another user.
  static bool isOpenedAsAnotherUser(const GSession& _session);
  static bool ownsImage(const GSession& _session, const GImage& _image);

  // Accounts and sessions.
  // The account page and its own changes: everybody logged in but the guest account.
  static bool hasOwnAccount(const GSession& _session);
  // Changing the account _userId through the account page: only one's own.
  static bool mayEditOwnAccount(const GSession& _session, int _userId);
  // The user administration and its actions.
  static bool mayAdministerUsers(const GSession& _session);
  // The server's status page: administrators.
  static bool maySeeServerStatus(const GSession& _session);
  // Enabling, typing and giving the folder right to other accounts: the administrator
  // account only (other administrators change the remaining rights).
  static bool mayGrantAdministration(const GSession& _session, int _userId);
  static bool mayOpenSessionAs(const GSession& _session);
  // Sessions that end after the administrators' idle time-out (session.adminTimeout)
  // rather than the ordinary one, and give way last at the session table's cap:
  // administrators and the sessions they opened.
  static bool hasAdministratorsTimeOut(const GSession& _session);

  // Folders.
  // The folder administration module and its actions.
  static bool mayAdministerFolders(const GSession& _session);
  // Administrators edit every folder, other folder administrators those they own; the root
  // counts as the administrator account's.
  static bool mayEditFolder(const GSession& _session, const GFolder& _folder);
  // The same by id: the root for rootFolderId; for an id that names no folder true for
  // administrators only (whether it exists is the caller's question).
  static bool mayEditFolder(const GSession& _session, int _folderId);
  // Giving a folder to another owner than oneself.
  static bool mayChooseFolderOwner(const GSession& _session);

  // Images.
  // Uploading: a logged-in account with the upload right.
  static bool mayUpload(const GSession& _session);
  static bool mayUpload(const GUser& _user);
  // The "my images" part of the pages: uploaders that are not administrators.
  static bool hasOwnImages(const GSession& _session);
  // Whether a new upload of the account waits for an administrator's decision.
  static bool uploadWaitsForAcceptance(const GUser& _user);
  // Name, keywords, description and date: the owner and administrators.
  static bool mayEditImage(const GSession& _session, const GImage& _image);
  // Deleting an image, and publishing it in a folder or taking it out: its owner.
  static bool mayDeleteImage(const GSession& _session, const GImage& _image);
  static bool mayPublishImage(const GSession& _session, const GImage& _image);
  // Offering one's own images to folders (the folder module's publishing tab): ordinary
  // users; administrators decide instead, and the guest account has nothing to offer.
  static bool mayPublish(const GSession& _session);
  // Whether a publication of the session's user in _folder waits for a decision: with the
  // acceptance flag, unless the folder is the user's own.
  static bool publicationWaits(const GSession& _session, const GFolder& _folder);
  // The acceptance queues (uploads and publications): administrators.
  static bool mayDecideOnImages(const GSession& _session);
  // Accepting or denying one waiting image: administrators, and a session an administrator
  // opened as its owner.
  static bool mayDecideOnImage(const GSession& _session, const GImage& _image);

  // Pictures.
  // The previews of an image: its owner, administrators, anybody logged in once the image is
  // accepted, and the owner of a folder where its publication waits for a decision.
  static bool mayViewImage(const GSession& _session, const GImage& _image);
  // Originals at all: a logged-in account with the download right.
  static bool mayDownloadOriginals(const GSession& _session);
  // The original: who may view the image and has the download right; administrators always.
  static bool mayDownloadImage(const GSession& _session, const GImage& _image);
  // The same by image id: false for an id that names no image.
  static bool mayViewImage(const GSession& _session, int _imageId);
  static bool mayDownloadImage(const GSession& _session, int _imageId);
  // The pictures made for screens (the large preview at twice its pixels and the
  // screen-sized picture of the viewer): the same as the previews, by image id.
  static bool mayViewScreenPictures(const GSession& _session, int _imageId);

  // Links for people without an account (GShareLink).
  // Making a link to a folder: its owner (also as a folder administrator) and administrators;
  // to a picture: its owner and administrators. Never the shared guest account.
  static bool mayShareFolder(const GSession& _session, const GFolder& _folder);
  static bool mayShareImage(const GSession& _session, const GImage& _image);
  // The same for the account that made a link: asked again at every visit, so that a link
  // shows nothing once its maker has lost the right (another owner, rights taken away).
  static bool mayShareFolder(const GUser& _maker, const GFolder& _folder);
  static bool mayShareImage(const GUser& _maker, const GImage& _image);
  // What a link's visitor sees: accepted pictures only (in a folder, accepted there too).
  static bool linkShowsImage(const GImage& _image);
  // Originals through a link: when the link allows them and its maker may download them.
  static bool linkAllowsOriginals(const GUser& _maker, const GShareLink& _link);
  // Seeing and ending the links of others: administrators.
  static bool mayManageAllLinks(const GSession& _session);
  // Changing a link (extend, end): its maker and administrators.
  static bool mayManageLink(const GSession& _session, const GShareLink& _link);

 private:
  // Whether the session's user owns a folder where the image waits for publication.
  static bool ownsWaitingFolder(const GSession& _session, const GImage& _image);
};

#endif
