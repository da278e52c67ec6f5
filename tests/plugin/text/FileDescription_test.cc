// File descriptions built from real files in a temporary folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "common/OsxUtils.h"
#include "common/Utils.h"

namespace Harlune {
namespace Web {
namespace {

std::string entry(const std::string& date, const std::string& name, const std::string& size,
                  const std::string& type) {
  return "{" + (date.empty() ? "" : "\"lastModifiedDate\":\"" + date + "\",") + "\"name\":\"" +
         name + "\",\"size\":" + size + ",\"type\":\"" + type + "\"}";
}

TEST(FileDescription, EntriesInOrderWithLocalDateSizeAndType) {
  char tmpl[] = "/tmp/filedesc-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  const std::string oldTz = std::getenv("TZ") ? std::getenv("TZ") : "";
  ::setenv("TZ", "EST5", 1);
  ::tzset();
  // 2026-12-03 07:22:14 UTC: 02:22 in EST, and a one-digit day, which ctime pads.
  const std::string when = "Thu Dec  3 02:22:14 2026";
  const struct timespec times[2] = {{1796282534, 0}, {1796282534, 0}};
  for (const char* name : {"notes.txt", "README", "pics.png", "q\"uote\\back.TXT", "ctl\x01.gz"}) {
    const std::string p = dir + "/" + name;
    if (std::string(name) == "pics.png") {
      ::mkdir(p.c_str(), 0700);
    } else {
      std::ofstream(p) << std::string(std::string(name).size(), 'x');
    }
    EXPECT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0) << name;
  }
  EXPECT_EQ(::symlink((dir + "/pics.png").c_str(), (dir + "/ld").c_str()), 0);
  const std::string out = Utils::createExtendedObject(
      {dir + "/notes.txt", dir + "/README", dir + "/pics.png", dir + "/gone.pdf", dir + "/ld",
       dir + "/q\"uote\\back.TXT", dir + "/ctl\x01.gz"});
  EXPECT_EQ(out, "{\"dataTransfer\":{\"files\":[" +
                     entry(when, dir + "/notes.txt", "9", "text/plain") + "," +
                     entry(when, dir + "/README", "6", "") + "," +
                     entry(when, dir + "/pics.png", "0", "text/directory") + "," +
                     entry("", dir + "/gone.pdf", "0", "application/pdf") + "," +
                     entry(when, dir + "/ld", "0", "text/directory") + "," +
                     entry(when, dir + "/q\\\"uote\\\\back.TXT", "15", "text/plain") + "," +
                     entry(when, dir + "/ctl\\u0001.gz", "7", "application/gzip") + "]}}");
  EXPECT_EQ(Utils::createExtendedObject({}), "{\"dataTransfer\":{\"files\":[]}}");
  std::system(("rm -rf '" + dir + "'").c_str());
  if (oldTz.empty()) {
    ::unsetenv("TZ");
  } else {
    ::setenv("TZ", oldTz.c_str(), 1);
  }
  ::tzset();
}

TEST(MimeType, ComesFromTheExtensionOfTheLastComponent) {
  const char* cases[][2] = {
      {"/x/Photo.PNG", "image/png"}, {"/x/a.tar.gz", "application/gzip"},
      {"relative.pdf", "application/pdf"}, {"/x.txt/README", ""}, {"/x/.profile", ""},
      {"/x/trailing.", ""}, {"/x/a.nosuchext", ""}, {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(OsxUtils::mimeTypeForFileAtPath(c[0]), c[1]) << c[0];
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
