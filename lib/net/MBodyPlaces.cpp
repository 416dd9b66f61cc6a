#include "lib/net/MBodyPlaces.h"

#include "lib/net/MHttpProcessor.h"

MBodyPlaces::MBodyPlaces(int _max, int _perClient)
    : max(_max > 0 ? _max : 1), perClient(_perClient > 0 ? _perClient : 1) {}

int MBodyPlaces::getCount(const std::string& _client) const {
  auto client = clients.find(_client);
  return client != clients.end() ? client->second : 0;
}

bool MBodyPlaces::enter(MHttpProcessor* _processor, const std::string& _client) {
  if (holders.count(_processor) != 0) return true;
  if (getCount(_client) >= perClient) return false;
  if ((int)holders.size() >= max) {
    MHttpProcessor* behind = nullptr;
    UInt64 behindSince = 0;
    for (const auto& holder : holders) {
      UInt64 since = 0;
      if (!holder.first->canGiveWay(since)) continue;
      if (behind == nullptr || since < behindSince) {
        behind = holder.first;
        behindSince = since;
      }
    }
    if (behind == nullptr) return false;
    // Gives its place back through leave.
    behind->loseBodyPlace();
  }
  holders.emplace(_processor, _client);
  ++clients[_client];
  return true;
}

void MBodyPlaces::leave(MHttpProcessor* _processor) {
  auto holder = holders.find(_processor);
  if (holder == holders.end()) return;
  auto client = clients.find(holder->second);
  if (client != clients.end() && --client->second <= 0) clients.erase(client);
  holders.erase(holder);
}
