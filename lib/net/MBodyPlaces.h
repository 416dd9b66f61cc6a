#ifndef VISTREL_MBODYPLACES_H
#define VISTREL_MBODYPLACES_H

#include <string>
#include <unordered_map>

class MHttpProcessor;

// The connections of one server that are reading a request body, counted so that bodies
// cannot take every place of the server: at most `max` at once in all, so that the server's
// other places stay for connections that read a request head, wait between requests or are
// being answered (a new request can always be read), and at most perClient of one client.
// When every place is taken, the body that has fallen behind its pace the longest
// (MHttpProcessor::canGiveWay) gives its place to the new one and is answered 408; one that
// keeps its pace is never pushed out. Used by the server loop's thread only.
class MBodyPlaces {
 public:
  // Of the server's 499 places (MServer::maxConnections), 99 stay for everything else.
  static constexpr int defaultMax = 400;
  // Six connections of one browser with room to spare, or a few people behind one address.
  static constexpr int defaultPerClient = 16;

  explicit MBodyPlaces(int _max = defaultMax, int _perClient = defaultPerClient);
  MBodyPlaces(const MBodyPlaces&) = delete;
  MBodyPlaces& operator=(const MBodyPlaces&) = delete;

  // Takes a place for _processor's body from _client, pushing out a body that has fallen
  // behind when all are taken; false when the client has all its places or none can be
  // freed.
  bool enter(MHttpProcessor* _processor, const std::string& _client);
  // Gives _processor's place back; nothing when it holds none.
  void leave(MHttpProcessor* _processor);
  int getCount() const { return (int)holders.size(); }
  int getCount(const std::string& _client) const;
  int getMax() const { return max; }
  int getPerClient() const { return perClient; }

 private:
  int max;
  int perClient;
  std::unordered_map<MHttpProcessor*, std::string> holders;
  std::unordered_map<std::string, int> clients;
};

#endif
