#include "capture.h"
#include "options/options.h"
#include "options/settings.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

using quillon::ContinueRun;
using quillon::Settings;

const std::string Abort = "quillon aborts due one or more wrong options or read errors!\n";

class ConfigFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    quillon::resetSettings();
    char Template[] = "/tmp/quillon_cfg_XXXXXX";
    ASSERT_NE(::mkdtemp(Template), nullptr);
    Dir = Template;
  }
  void TearDown() override {
    for (const std::string& File : Files)
      ::unlink(File.c_str());
    ::rmdir(Dir.c_str());
  }
  std::string write(const std::string& Name, const std::string& Content) {
    const std::string Path = Dir + "/" + Name;
    std::ofstream(Path, std::ios::binary) << Content;
    Files.push_back(Path);
    return Path;
  }
  // Reads one file with everything it prints caught in Log.
  bool read(const std::string& Path) {
    Capture Errors({&std::cerr, &std::clog});
    const bool Result = quillon::readConfigFile(Path, S);
    Log = Errors.text();
    return Result;
  }
  int walk(const std::vector<std::string>& Arguments) {
    Capture Errors({&std::cerr, &std::clog});
    const int Status = quillon::collectOptions(Arguments, S);
    Log = Errors.text();
    return Status;
  }

  Settings& S = quillon::theSettings();
  std::string Dir;
  std::vector<std::string> Files;
  std::string Log;
};

struct FileCase {
  const char* Name;
  std::string Content;
  bool Result;
  std::string Log;
  int Mode;
  bool Verbose;
  std::string StyleList;
  std::string SourceEncoding = "auto"; // -ie:
};

const std::string Line999 = "-styles:" + std::string(991, 'a');
const std::string Line1000 = Line999 + "a";
const std::string TooLong2 =
    "Error : Line 2 in Config File : NAME is too long (999 bytes at most)\n";

// clang-format off
const FileCase FileCases[] = {
    {"shebang and comments", "#!quillon -exec\n\n  -v   # verbose\n-m:3\n", true, "", 2, true, ""},
    {"crlf ends", "#!quillon -exec\r\n\r\n-v # x\r\n-m:3\r\n-styles:a.css\r\n", true, "", 2, true, "a.css"},
    {"no final line end", "-v\n-m:5", true, "", 4, true, ""},
    {"cr without lf stays", "-m:2\n-styles:a\r", true, "", 1, false, "a\r"},
    {"ctrl-z ends the text", "-v\n-m:2\x1a-m:3\n-styles:x\n", true, "", 1, true, ""},
    {"ctrl-z after the line end", "-m:2\r\n\x1a", true, "", 1, false, ""},
    {"hash cuts a value", "-styles:a.css#print\n", true, "", 0, false, "a.css"},
    {"blank and comment lines", " \t \n   # only a remark\n\t\n-v\n", true, "", 0, true, ""},
    {"tab before spaces after", "\t-v  \n", true, "", 0, true, ""},
    {"tab then space", "\t -v\n-m:2\n", false, "Error : Illegal line in Config File : \" -v\"\n", 1, false, ""},
    {"illegal line, reading goes on", "v\n-m:2\n", false, "Error : Illegal line in Config File : \"v\"\n", 1, false, ""},
    {"illegal option, reading goes on", "-e:bad\n-v\n", false,
     "Error : Encoding \"bad\" is not supported !\nError : Illegal option in Config File : \"-e:bad\"\n", 0, true, ""},
    {"source encoding", "-ie:UTF-8 # unmarked exports\n-m:2\n", true, "", 1, false, "", "UTF-8"},
    {"source encoding misspelt", "-ie:UTF8\n-v\n", false,
     "Error : Encoding \"UTF8\" is not supported !\nError : Illegal option in Config File : \"-ie:UTF8\"\n", 0, true, "",
     "UTF8"},
    {"files include no files", "-cfg:other.cfg\n-exec\n-V\n-?\n-m:2\n", false,
     "Error : Illegal option in Config File : \"-cfg:other.cfg\"\n"
     "Error : Illegal option in Config File : \"-exec\"\n"
     "Error : Illegal option in Config File : \"-V\"\n"
     "Error : Illegal option in Config File : \"-?\"\n", 1, false, ""},
    {"999 bytes are a line", "-v\n" + Line999 + "\n-m:2\n", true, "", 1, true, std::string(991, 'a')},
    {"999 bytes and crlf", Line999 + "\r\n-m:2\r\n", true, "", 1, false, std::string(991, 'a')},
    // NAME stands for the file's path; a line too long is reported and the reading goes on
    {"1000 bytes", "-v\n" + Line1000 + "\n-m:2\n", false, TooLong2, 1, true, ""},
    {"1000 bytes and crlf", "-v\r\n" + Line1000 + "\r\n-m:2\r\n", false, TooLong2, 1, true, ""},
    {"1000 bytes as the last line", "-m:3\n" + Line1000, false, TooLong2, 2, false, ""},
    {"a much longer line", "-m:3\n" + std::string(70000, 'x') + "\n-v\n", false, TooLong2, 2, true, ""},
    {"ctrl-z ends a long line", "-m:2\n" + std::string(1200, 'x') + "\x1a-v\n", false, TooLong2, 1, false, ""},
    {"counted after blank and comment lines", "\n\r\n# x\n" + Line1000 + "\n", false,
     "Error : Line 4 in Config File : NAME is too long (999 bytes at most)\n", 0, false, ""},
    {"a bad line before the long one", "v\n" + Line1000 + "\n", false,
     "Error : Illegal line in Config File : \"v\"\n" + TooLong2, 0, false, ""},
    {"byte-order mark", "\xEF\xBB\xBF-m:3\n", true, "", 2, false, ""},
    {"byte-order mark before 999 bytes", "\xEF\xBB\xBF" + Line999 + "\n", true, "", 0, false, std::string(991, 'a')},
    {"byte-order mark and a comment", "\xEF\xBB\xBF#!quillon -exec\n-v\n", true, "", 0, true, ""},
    {"byte-order mark only at the start", "-v\n\xEF\xBB\xBF-m:3\n", false,
     "Error : Illegal line in Config File : \"\xEF\xBB\xBF-m:3\"\n", 0, true, ""},
    {"part of a byte-order mark", "\xEF\xBB-m:3\n", false,
     "Error : Illegal line in Config File : \"\xEF\xBB-m:3\"\n", 0, false, ""},
};
// clang-format on

TEST_F(ConfigFileTest, LinesOfAFile) {
  for (const FileCase& C : FileCases) {
    quillon::resetSettings();
    SCOPED_TRACE(C.Name);
    const std::string Path = write("case.cfg", C.Content);
    std::string Expected = C.Log;
    if (const std::size_t At = Expected.find("NAME"); At != std::string::npos)
      Expected.replace(At, 4, Path);
    EXPECT_EQ(read(Path), C.Result);
    EXPECT_EQ(Log, Expected);
    EXPECT_EQ(S.Mode, C.Mode);
    EXPECT_EQ(S.VerboseMode, C.Verbose);
    EXPECT_EQ(S.StyleList, C.StyleList);
    EXPECT_EQ(S.SourceEncoding, C.SourceEncoding);
  }
}

TEST_F(ConfigFileTest, TraceLinesWithDebugOn) {
  S.DebugMode = true;
  EXPECT_TRUE(read(write("a.cfg", "#!quillon -exec\n\n  -v   # verbose\n-m:3\n")));
  EXPECT_EQ(Log, "Debug: CFG Bemerkungsanteil gefunden -> [#!quillon -exec]\n\n"
                 "Debug: CFG Bemerkungsanteil entfernt -> []\n\n"
                 "Debug: Sprung zur n\xE4"
                 "chsten CFG Zeile\n\n"
                 "Debug: Sprung zur n\xE4"
                 "chsten CFG Zeile\n\n"
                 "Debug: CFG Bemerkungsanteil gefunden -> [-v   # verbose]\n\n"
                 "Debug: CFG Bemerkungsanteil entfernt -> [-v]\n\n"
                 "Debug: checkOption -> [-v]\n\n"
                 "Debug: CFG Option ist OK -> [-v]\n\n"
                 "Debug: checkOption -> [-m:3]\n\n"
                 "Debug: CFG Option ist OK -> [-m:3]\n\n");
}

TEST_F(ConfigFileTest, DebugLineStartsTracingFromItself) {
  EXPECT_TRUE(read(write("a.cfg", "-v\n-debug\n-wn\n")));
  EXPECT_EQ(Log, "Debug: CFG Option ist OK -> [-debug]\n\n"
                 "Debug: checkOption -> [-wn]\n\n"
                 "Debug: CFG Option ist OK -> [-wn]\n\n");
}

TEST_F(ConfigFileTest, MissingEmptyOrUnreadableFiles) {
  const std::string Empty = write("empty.cfg", "");
  EXPECT_FALSE(read(Empty));
  EXPECT_EQ(Log, "Error while searching for Config file : " + Empty + "\n");
  EXPECT_FALSE(read(Dir + "/missing.cfg"));
  EXPECT_EQ(Log, "Error while searching for Config file : " + Dir + "/missing.cfg\n");
  EXPECT_FALSE(read(Dir)); // a directory opens, but cannot be read
  EXPECT_EQ(Log, "Error while reading Config file : " + Dir + "\n");
}

// A file that exists but cannot be opened or read (permissions deny nothing to root, so the
// failures are handed in): the reading error, and nothing applied.
TEST_F(ConfigFileTest, OpenOrReadFails) {
  const int WriteOnly = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(WriteOnly, 0);
  for (const int Fd : {-1, WriteOnly}) {
    SCOPED_TRACE(Fd);
    quillon::resetSettings();
    Capture Errors({&std::cerr, &std::clog});
    EXPECT_FALSE(quillon::readConfigDescriptor("locked.cfg", Fd, S));
    EXPECT_EQ(Errors.text(), "Error while reading Config file : locked.cfg\n");
  }
  ::close(WriteOnly);
  // the same descriptor path reads a good file
  const int Good = ::open(write("good.cfg", "-m:3\n").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(Good, 0);
  EXPECT_TRUE(quillon::readConfigDescriptor("good.cfg", Good, S));
  EXPECT_EQ(S.Mode, 2);
  ::close(Good);
}

TEST_F(ConfigFileTest, AppliedAtItsPositionAmongTheArguments) {
  const std::string Cfg = write("m3.cfg", "-m:3\n-styles:b\n");
  EXPECT_EQ(walk({"-m:2", "-styles:a", "-cfg:" + Cfg}), ContinueRun);
  EXPECT_EQ(S.Mode, 2);
  EXPECT_EQ(S.StyleList, "a,b");
  quillon::resetSettings();
  EXPECT_EQ(walk({"-cfg:" + Cfg, "-m:4", "-cfg:" + Cfg}), ContinueRun);
  EXPECT_EQ(S.Mode, 2);
  EXPECT_EQ(S.StyleList, "b,b"); // read and applied each time
  quillon::resetSettings();
  EXPECT_EQ(walk({"-cfg:" + Cfg, "-m:4"}), ContinueRun);
  EXPECT_EQ(S.Mode, 3);
}

TEST_F(ConfigFileTest, ABadFileAbortsAfterTheWalk) {
  const std::string Bad = write("bad.cfg", "-x\n-v\n");
  const std::string Empty = write("empty.cfg", "");
  EXPECT_EQ(walk({"-cfg:" + Bad, "-cfg:" + Empty, "-y", "-m:2"}), 1);
  EXPECT_EQ(Log, "Error : Illegal option in Config File : \"-x\"\n"
                 "Error while searching for Config file : " +
                     Empty +
                     "\n"
                     "Error : Illegal option : \"-y\"\n" +
                     Abort);
  EXPECT_TRUE(S.VerboseMode);
  EXPECT_EQ(S.Mode, 1);
}

TEST_F(ConfigFileTest, ExecReadsTheFileAlone) {
  const std::string Good = write("good.cfg", "#!quillon -exec\n-s:in.csv\n-t:-\n");
  EXPECT_EQ(walk({" -exec ", Good}), ContinueRun);
  EXPECT_EQ(Log, "");
  EXPECT_EQ(S.SourceFile, "in.csv");
  EXPECT_TRUE(S.TargetIsStdout);

  quillon::resetSettings();
  const std::string Bad = write("bad.cfg", "-debug\nfoo\n");
  EXPECT_EQ(walk({"-exec", Bad}), 1);
  EXPECT_EQ(Log, "Debug: CFG Option ist OK -> [-debug]\n\n"
                 "Error : Illegal line in Config File : \"foo\"\n"
                 "Debug: Parametervalidierung ist abgeschlossen\n\n" +
                     Abort);

  quillon::resetSettings();
  const std::string Empty = write("empty.cfg", "");
  EXPECT_EQ(walk({"-exec", Empty}), 1);
  EXPECT_EQ(Log, "Error : -exec option must be followed by an existing config file\n");

  quillon::resetSettings(); // the file name is taken as it stands, blanks included
  EXPECT_EQ(walk({"-exec", Good + " "}), 1);
  EXPECT_EQ(Log, "Error : -exec option must be followed by an existing config file\n");
}

} // namespace
