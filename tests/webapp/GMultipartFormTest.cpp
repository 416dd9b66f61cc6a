#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "lib/net/MHttpRequest.h"
#include "webapp/GMultipartForm.h"

namespace {

// The form's file part as the request finds it, its body in a file as a large body is.
bool findInFile(const char* _type, const std::string& _body, size_t& _start, size_t& _length) {
  MHttpRequest request;
  request.headers.setObject("content-type", _type);
  char name[] = "/tmp/vistrel-form-XXXXXX";
  int handle = mkstemp(name);
  if (handle < 0) return false;
  unlink(name);
  if (write(handle, _body.data(), _body.size()) != (ssize_t)_body.size()) return false;
  request.setContentFile(handle);
  Int64 start = 0;
  Int64 length = 0;
  bool found = GMultipartForm::findFilePart(request, start, length);
  _start = (size_t)start;
  _length = (size_t)length;
  return found;
}

}  // namespace

TEST(GMultipartForm, BoundaryOfTheContentType) {
  const std::pair<const char*, const char*> cases[] = {
      {"multipart/form-data; boundary=----WebKitFormBoundary7MA4YWxk", "----WebKitFormBoundary7MA4YWxk"},
      {"Multipart/Form-Data;BOUNDARY=abc", "abc"},
      {"multipart/form-data; charset=utf-8; boundary=\"a b;c\"", "a b;c"},
      {"multipart/form-data ; boundary = x ", "x"},
      {"multipart/form-data", ""},
      {"multipart/form-data; boundary=", ""},
      {"multipart/form-data; boundary=\"\"", ""},
      {"multipart/mixed; boundary=abc", ""},
      {"image/jpeg", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, GMultipartForm::boundary(c.first)) << c.first;
  EXPECT_EQ("", GMultipartForm::boundary(nullptr));
  EXPECT_EQ("", GMultipartForm::boundary(("multipart/form-data; boundary=" + std::string(201, 'b')).c_str()));
}

TEST(GMultipartForm, FindsTheFirstFilePartExactly) {
  const char* type = "multipart/form-data; boundary=XyZ";
  const std::string file = "\xFF\xD8 data with --XyZ inside and \r\n-- too \xFF\xD9";
  const std::string filePart =
      "--XyZ\r\nContent-Disposition: form-data; name=\"Image.file\"; filename=\"a;b.jpg\"\r\n"
      "Content-Type: image/jpeg\r\n\r\n" + file + "\r\n";
  const std::string textPart = "--XyZ\r\nContent-Disposition: form-data; name=\"Image.user\"\r\n\r\n3\r\n";
  const std::string closing = "--XyZ--\r\n";
  struct Case {
    const char* what;
    std::string body;
    bool found;
  };
  const Case cases[] = {
      {"file after a text field", textPart + filePart + closing, true},
      {"preamble in front", "ignored preamble\r\n" + filePart + closing, true},
      {"header names in any case, blanks after the boundary",
       "--XyZ  \r\ncontent-disposition: form-data; name=\"f\"; FILENAME=\"x\"\r\n\r\n" + file +
           "\r\n" + closing, true},
      {"two files: the first counts", filePart + filePart + closing, true},
      {"only text fields", textPart + closing, false},
      {"a text field named filename", "--XyZ\r\nContent-Disposition: form-data; name=\"filename\"\r\n\r\nx\r\n" + closing, false},
      {"cut before the closing boundary", textPart + filePart.substr(0, filePart.size() - 2), false},
      {"file part without a blank line", "--XyZ\r\nContent-Disposition: form-data; filename=\"a\"", false},
      {"boundary not at a line start", "x--XyZ\r\n\r\n" + file, false},
      {"closing boundary only", closing, false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    size_t start = 0;
    size_t length = 0;
    bool found = GMultipartForm::findFilePart(type, c.body, start, length);
    EXPECT_EQ(c.found, found) << c.what;
    if (found && c.found) {
      EXPECT_EQ(file, c.body.substr(start, length)) << c.what;
    }
    size_t fileStart = 0;
    size_t fileLength = 0;
    EXPECT_EQ(c.found, findInFile(type, c.body, fileStart, fileLength)) << c.what;
    if (c.found) {
      EXPECT_EQ(start, fileStart) << c.what;
      EXPECT_EQ(length, fileLength) << c.what;
    }
  }
  size_t start;
  size_t length;
  EXPECT_FALSE(GMultipartForm::findFilePart("image/jpeg", filePart + closing, start, length));
  EXPECT_FALSE(GMultipartForm::findFilePart("multipart/form-data; boundary=Other", filePart + closing,
                                            start, length));
  // An empty file field (no file chosen) is found, and empty.
  std::string empty = "--XyZ\r\nContent-Disposition: form-data; name=\"f\"; filename=\"\"\r\n\r\n\r\n" + closing;
  ASSERT_TRUE(GMultipartForm::findFilePart(type, empty, start, length));
  EXPECT_EQ(0u, length);
}

TEST(GMultipartForm, ABoundaryWhereTheReadingPiecesMeetIsFound) {
  // The body file is read in pieces of 64 KiB: a boundary across the end of one is found.
  const char* type = "multipart/form-data; boundary=XyZ";
  std::string head = "--XyZ\r\nContent-Disposition: form-data; name=\"f\"; filename=\"a\"\r\n\r\n";
  for (size_t before = 65536 - 12; before <= 65536 + 2; ++before) {
    std::string file(before - head.size(), 'q');
    std::string body = head + file + "\r\n--XyZ--\r\n";
    size_t start = 0;
    size_t length = 0;
    ASSERT_TRUE(findInFile(type, body, start, length)) << before;
    EXPECT_EQ(head.size(), start) << before;
    EXPECT_EQ(file.size(), length) << before;
  }
  // Part headers beyond their limit end the search.
  std::string longHead = "--XyZ\r\nContent-Disposition: form-data; filename=\"a\"\r\nX: " +
                         std::string(GMultipartForm::maxPartHeaders + 300, 'h') + "\r\n\r\nx\r\n--XyZ--\r\n";
  size_t start = 0;
  size_t length = 0;
  EXPECT_FALSE(findInFile(type, longHead, start, length));
  EXPECT_FALSE(GMultipartForm::findFilePart(type, longHead, start, length));
}

TEST(GMultipartForm, TheFileNameAsTheBrowserMeantIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"filename=\"Harbour at dawn.jpg\"", "Harbour at dawn.jpg"},
      {"filename=\"\xC3\x9C" "berlingen.jpg\"", "\xC3\x9C" "berlingen.jpg"},  // UTF-8 as sent
      {"filename=\"say %22hi%22.jpg\"", "say \"hi\".jpg"},                   // today's browsers
      {"filename=\"say \\\"hi\\\".jpg\"", "say \"hi\".jpg"},                 // older ones
      {"filename=\"a%0Ab.jpg\"", "a\nb.jpg"},
      {"filename=\"100%25 sure.jpg\"", "100%25 sure.jpg"},  // percent signs are not escaped
      {"filename=\"C:\\Users\\anna\\heron.jpg\"", "C:\\Users\\anna\\heron.jpg"},
      {"FileName=plain.jpg", "plain.jpg"},
      {"filename*=UTF-8''%C3%9Cber%20See.jpg", "\xC3\x9C" "ber See.jpg"},
      {"filename*=broken", ""},
      {"filename=\"\"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, GMultipartForm::fileName(c.first)) << c.first;
  // Found with its part; a plain name wins over a filename* beside it.
  const std::string body =
      "--XyZ\r\nContent-Disposition: form-data; name=\"f\"; filename*=UTF-8''b.jpg; "
      "filename=\"a;b.jpg\"\r\n\r\nx\r\n--XyZ--\r\n";
  size_t start = 0;
  size_t length = 0;
  std::string name;
  ASSERT_TRUE(GMultipartForm::findFilePart("multipart/form-data; boundary=XyZ", body, start, length, &name));
  EXPECT_EQ("a;b.jpg", name);
}
