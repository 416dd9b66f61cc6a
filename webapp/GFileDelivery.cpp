#include "webapp/GFileDelivery.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "lib/core/MException.h"
#include "lib/core/MTextStream.h"
#include "lib/net/MHttpRequest.h"
#include "lib/net/MHttpResponse.h"
#include "views/GApplication.h"
#include "views/GHtml.h"
#include "views/GRights.h"
#include "views/GSession.h"

bool GFileDelivery::serveFile(MHttpRequest& _request, MHttpResponse& _response) try {
  const char* path = _request.path.getValue();
  int length = _request.path.getLength();
  if (strstr(path, "..") != nullptr || strchr(path, '~') != nullptr || length > maxFilePath) {
    return false;
  }
  const char* dot = strrchr(path, '.');
  if (dot == nullptr || dot == path) return false;
  const char* extension = dot + 1;
  if ((int)strlen(extension) < maxExtension) {
    MString* mimeType = GApplication::get().getMimeType(extension);
    if (mimeType != nullptr) _response.contentType = *mimeType;
  }

  MString name = MString::format("%s/web/%s", GApplication::get().getDirectory().getValue(), path);
  FILE* file = fopen(name.getValue(), "rb");
  if (file == nullptr) return false;
  // Only plain files: a directory whose name has a dot opens too, but is no file to send.
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    fclose(file);
    return false;
  }
  try {
    char buffer[10000];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) {
      if (_response.content.writeData(buffer, (int)n) != (int)n) {
        throw MException("### FILE ###", "The file does not fit into the response!");
      }
    }
  } catch (const MException&) {
    fclose(file);
    throw;
  }
  fclose(file);
  return true;
} M_RETHROW("bool GFileDelivery::serveFile(MHttpRequest& _request,MHttpResponse& _response)")

bool GFileDelivery::refuseOriginal(GSession& _session, MHttpRequest& _request, MTextStream& _out) {
  // Those who may see originals get them as static files.
  if (GRights::mayDownloadOriginals(_session)) return false;
  _out << "<HTML><BODY>Url not found " << GHtml::escape(_request.url.getValue()).getValue()
       << "</BODY><HTML>\n";
  return true;
}
