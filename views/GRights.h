#ifndef VISTREL_GRIGHTS_H
#define VISTREL_GRIGHTS_H

class GImage;
class GSession;

// Who may see, change and decide what: the one place where the views and the actions learn
// it, so that a page that shows a picture and the request that fetches its file never
// disagree.
class GRights {
 public:
  // The value of a user's type for administrators.
  static const int administratorType = 1;
  // The value of a user's type for ordinary users.
  static const int ordinaryType = 0;
  // The guest account: an ordinary account that the login page's guest button opens.
  static const int guestAccountId = 1;

  // Somebody is logged in (the shared guest session has nobody, user id -1).
  static bool isLoggedIn(const GSession& _session);
  static bool isAdministrator(const GSession& _session);
  static bool ownsImage(const GSession& _session, const GImage& _image);
  // The shared guest account: it owns no images and has no account of its own to keep.
  static bool isGuestAccount(const GSession& _session);
  // Offering one's own images to folders (the folder module's publishing tab): ordinary
  // users; administrators decide instead, and the guest account has nothing to offer.
  static bool mayPublish(const GSession& _session);

  // The previews of an image: its owner, administrators, anybody logged in once the image is
  // accepted, and the owner of a folder where its publication waits for a decision.
  static bool mayViewImage(const GSession& _session, const GImage& _image);
  // The original: who may view the image and has the download right; administrators always.
  static bool mayDownloadImage(const GSession& _session, const GImage& _image);
  // The same by image id: false for an id that names no image.
  static bool mayViewImage(const GSession& _session, int _imageId);
  static bool mayDownloadImage(const GSession& _session, int _imageId);

 private:
  // Whether the session's user owns a folder where the image waits for publication.
  static bool ownsWaitingFolder(const GSession& _session, const GImage& _image);
};

#endif
