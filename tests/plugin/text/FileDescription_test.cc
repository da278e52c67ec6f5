// File descriptions built from real files in a temporary folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/OsxUtils.h"
#include "common/Utils.h"
#include "text/Json.h"

namespace Harlune {
namespace Web {
namespace {

// 2026-12-03 07:22:14 UTC: a one-digit day, so ctime pads it with a blank.
const time_t kWhen = 1796282534;
const char kWhenText[] = "Thu Dec  3 07:22:14 2026";

class FileDescription : public ::testing::Test {
protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    _hadTz = tz != nullptr;
    if (_hadTz) _oldTz = tz;
    setenv("TZ", "UTC", 1);
    tzset();
    char tmpl[] = "/tmp/filedesc-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    _dir = tmpl;
  }
  void TearDown() override {
    for (auto it = _made.rbegin(); it != _made.rend(); ++it) ::remove(it->c_str());
    ::rmdir(_dir.c_str());
    if (_hadTz) setenv("TZ", _oldTz.c_str(), 1); else unsetenv("TZ");
    tzset();
  }

  std::string file(const std::string& name, const std::string& content) {
    const std::string p = _dir + "/" + name;
    std::ofstream(p, std::ios::binary) << content;
    stamp(p);
    return p;
  }
  std::string folder(const std::string& name) {
    const std::string p = _dir + "/" + name;
    EXPECT_EQ(::mkdir(p.c_str(), 0700), 0);
    stamp(p);
    return p;
  }
  std::string link(const std::string& name, const std::string& target) {
    const std::string p = _dir + "/" + name;
    EXPECT_EQ(::symlink(target.c_str(), p.c_str()), 0);
    _made.push_back(p);
    return p;
  }
  void stamp(const std::string& p) {
    const struct timespec times[2] = {{kWhen, 0}, {kWhen, 0}};
    EXPECT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
    _made.push_back(p);
  }

  std::string _dir;
  std::vector<std::string> _made;
  std::string _oldTz;
  bool _hadTz = false;
};

std::string entry(const std::string& date, const std::string& name, const std::string& size,
                  const std::string& type) {
  std::string e = "{";
  if (!date.empty()) e += "\"lastModifiedDate\":\"" + date + "\",";
  return e + "\"name\":\"" + name + "\",\"size\":" + size + ",\"type\":\"" + type + "\"}";
}

std::string wrap(const std::string& entries) {
  return "{\"dataTransfer\":{\"files\":[" + entries + "]}}";
}

TEST_F(FileDescription, NoPathsGiveAnEmptyList) {
  EXPECT_EQ(Utils::createExtendedObject({}), "{\"dataTransfer\":{\"files\":[]}}");
}

TEST_F(FileDescription, RegularFileDirectoryAndPlainName) {
  const std::string notes = file("notes.txt", "hello");
  const std::string dir = folder("pics.png");
  const std::string readme = file("README", std::string(1234, 'x'));
  EXPECT_EQ(Utils::createExtendedObject({notes, dir, readme}),
            wrap(entry(kWhenText, notes, "5", "text/plain") + "," +
                 entry(kWhenText, dir, "0", "text/directory") + "," +
                 entry(kWhenText, readme, "1234", "")));
}

TEST_F(FileDescription, MissingPathKeepsItsPlaceWithoutDateOrSize) {
  const std::string a = file("a.html", "<p>");
  const std::string gone = _dir + "/gone.pdf";
  const std::string b = file("b.gz", "");
  EXPECT_EQ(Utils::createExtendedObject({a, gone, b, gone}),
            wrap(entry(kWhenText, a, "3", "text/html") + "," +
                 entry("", gone, "0", "application/pdf") + "," +
                 entry(kWhenText, b, "0", "application/gzip") + "," +
                 entry("", gone, "0", "application/pdf")));
}

TEST_F(FileDescription, SymbolicLinksAreFollowed) {
  const std::string target = file("t.txt", "12345678");
  const std::string dir = folder("d");
  const std::string toFile = link("l.bin", target);
  const std::string toDir = link("ld", dir);
  EXPECT_EQ(Utils::createExtendedObject({toFile, toDir}),
            wrap(entry(kWhenText, toFile, "8", "application/octet-stream") + "," +
                 entry(kWhenText, toDir, "0", "text/directory")));
}

TEST_F(FileDescription, OddNamesStayValidJsonWithMembersInOrder) {
  const std::vector<std::string> paths = {
      file("q\"uote\\back.TXT", "abc"), file("ctl\x01\n.png", "x"),
      file("\xc3\xa9t\xc3\xa9.txt", "")};
  const std::string text = Utils::createExtendedObject(paths);
  Json j;
  ASSERT_TRUE(j.parse(text)) << j.err() << "\n" << text;
  const char* filesPath[] = {"dataTransfer", "files", nullptr};
  yajl_val files = j.get(filesPath);
  ASSERT_TRUE(YAJL_IS_ARRAY(files));
  ASSERT_EQ(files->u.array.len, paths.size());
  const char* expectedKeys[] = {"lastModifiedDate", "name", "size", "type"};
  const char* expectedTypes[] = {"text/plain", "image/png", "text/plain"};
  const char* sizes[] = {"3", "1", "0"};
  for (size_t i = 0; i < paths.size(); ++i) {
    yajl_val f = files->u.array.values[i];
    ASSERT_TRUE(YAJL_IS_OBJECT(f));
    ASSERT_EQ(f->u.object.len, 4u);
    for (size_t k = 0; k < 4; ++k) EXPECT_STREQ(f->u.object.keys[k], expectedKeys[k]);
    const char* name[] = {"name", nullptr};
    const char* size[] = {"size", nullptr};
    const char* type[] = {"type", nullptr};
    const char* date[] = {"lastModifiedDate", nullptr};
    EXPECT_EQ(j.getString(name, f), paths[i]);
    EXPECT_EQ(j.getString(size, f), sizes[i]);
    EXPECT_EQ(j.getString(type, f), expectedTypes[i]);
    EXPECT_EQ(j.getString(date, f), kWhenText);
  }
}

TEST_F(FileDescription, DateFollowsLocalTime) {
  setenv("TZ", "EST5", 1);
  tzset();
  const std::string p = file("late.txt", "");
  EXPECT_EQ(Utils::createExtendedObject({p}),
            wrap(entry("Thu Dec  3 02:22:14 2026", p, "0", "text/plain")));
}

TEST(MimeType, ComesFromTheExtensionOfTheLastComponent) {
  EXPECT_EQ(OsxUtils::mimeTypeForFileAtPath("/x/notes.txt"), "text/plain");
  EXPECT_EQ(OsxUtils::mimeTypeForFileAtPath("/x/Photo.PNG"), "image/png");
  EXPECT_EQ(OsxUtils::mimeTypeForFileAtPath("/x/a.tar.gz"), "application/gzip");
  EXPECT_EQ(OsxUtils::mimeTypeForFileAtPath("relative.pdf"), "application/pdf");
  EXPECT_EQ(OsxUtils::mimeTypeForFileAtPath("/x/README"), "");
  EXPECT_EQ(OsxUtils::mimeTypeForFileAtPath("/x.txt/README"), "");
  EXPECT_EQ(OsxUtils::mimeTypeForFileAtPath("/x/.profile"), "");
  EXPECT_EQ(OsxUtils::mimeTypeForFileAtPath("/x/trailing."), "");
  EXPECT_EQ(OsxUtils::mimeTypeForFileAtPath("/x/a.nosuchext"), "");
  EXPECT_EQ(OsxUtils::mimeTypeForFileAtPath(""), "");
}

TEST(MimeType, DirectoriesAreTextDirectoryWhateverTheirName) {
  ta_stat_t st{};
  st.type = TA_FILE_TYPE_DIRECTORY;
  EXPECT_EQ(Utils::getMimeType("/x/folder.txt", st), "text/directory");
  st.type = TA_FILE_TYPE_REGULAR;
  EXPECT_EQ(Utils::getMimeType("/x/folder.txt", st), "text/plain");
  st.type = TA_FILE_TYPE_FIFO;
  EXPECT_EQ(Utils::getMimeType("/x/pipe", st), "");
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
