// Database files that are missing, unreadable, damaged or of another kind: opening raises
// kDatabaseOpen naming the file, the mvdb tool stops with a message naming it, nothing crashes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <sstream>

#include "mvdb/jsonl.h"
#include "mvdb/link.h"
#include "support/support.h"
#include "reliability/child_process.h"
#include "reliability/clerk_session.h"

namespace varnolde::reliability {

using test::ScratchDir;
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// What a run of the mvdb tool ended with.
struct ToolRun {
  std::string outcome;  // "exit N" or "signal N"
  int exit_status = -1;
  std::string err;
};

ToolRun RunTool(const std::vector<std::string>& arguments, const std::string& scratch) {
  ChildProcess child;
  const std::string out_path = scratch + "/tool.out";
  const std::string err_path = scratch + "/tool.err";
  child.Start([&](int) {
    const int out = ::open(out_path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(MVDB_TOOL)};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(MVDB_TOOL, argv.data());
    ::_exit(127);
  });
  child.Wait();
  return {child.Outcome(), child.ExitStatus(), Slurp(err_path)};
}

// Raises nothing, or the error raised by what.
std::optional<ComponentError> ErrorOf(const std::function<void()>& what) {
  try {
    what();
  } catch (const ComponentError& e) {
    return e;
  }
  return std::nullopt;
}

// Opens the database and reads every record of every file.
void ReadEverything(const std::string& path) {
  auto database = mvdb::OpenMvdb(path);
  std::ostringstream ignored;
  mvdb::DumpJsonLines(*database, {}, ignored);
}

class DamagedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeFixtureDatabase(good_);
    good_bytes_ = Slurp(good_);
    auto database = mvdb::OpenMvdb(good_, mvdb::OpenOptions{.read_only = true});
    std::ostringstream dump;
    mvdb::DumpJsonLines(*database, {}, dump);
    good_dump_ = dump.str();
  }

  // The file at path is refused by OpenDatabase with kDatabaseOpen naming it (and giving the
  // cause, when one is given), and the mvdb tool stops with status 1 and a message naming it.
  void ExpectRefused(const std::string& path, const std::string& cause = "") {
    SCOPED_TRACE(path);
    const auto error = ErrorOf([&] { mvdb::OpenDatabase(path); });
    ASSERT_TRUE(error.has_value()) << "opened";
    EXPECT_EQ(error->number(), err::kDatabaseOpen) << error->what();
    EXPECT_NE(std::string(error->what()).find(path), std::string::npos) << error->what();
    EXPECT_NE(std::string(error->what()).find(cause), std::string::npos) << error->what();
    for (const char* verb : {"dump", "query"}) {
      std::vector<std::string> arguments{verb, path};
      if (std::string(verb) == "query") arguments.push_back("SSELECT ACOMPTEBULL");
      const ToolRun run = RunTool(arguments, dir_.path().string());
      EXPECT_EQ(run.outcome, "exit 1") << verb << ": " << run.err;
      EXPECT_NE(run.err.find(path), std::string::npos) << verb << ": " << run.err;
    }
  }

  // The page size recorded in the good database's header.
  std::size_t PageSize() const {
    const auto byte = [&](int i) { return static_cast<unsigned char>(good_bytes_[i]); };
    const std::size_t size = byte(16) * 256u + byte(17);
    return size == 1 ? 65536 : size;
  }

  // A damaged copy of the good database: its bytes, changed by damage.
  std::string Damaged(const std::string& name, const std::function<void(std::string&)>& damage) {
    std::string bytes = good_bytes_;
    damage(bytes);
    const std::string path = dir_.File(name);
    WriteFile(path, bytes);
    return path;
  }

  ScratchDir dir_{"damaged"};
  std::string good_ = dir_.File("good.db");
  std::string good_bytes_;
  std::string good_dump_;
};

TEST_F(DamagedFileTest, FilesThatAreNoDatabaseAreRefusedNamingTheFile) {
  ExpectRefused(dir_.File("missing.db"), "fichier introuvable");
  std::filesystem::create_directory(dir_.File("directory.db"));
  ExpectRefused(dir_.File("directory.db"), "c'est un répertoire");
  std::mt19937 random(7);
  std::string noise(65536, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  constexpr char kNoSqlite[] = "ce n'est pas une base de données SQLite";
  for (const auto& [name, bytes, cause] : std::vector<std::array<std::string, 3>>{
           {"empty.db", "", "ce n'est pas une base mvdb (base SQLite vide)"},
           {"text.db", "Acomptes de mars\nDUBOIS Alain 12,50\n", kNoSqlite},
           {"lines.db", Slurp(RELIABILITY_FIXTURE), kNoSqlite},  // the JSON lines themselves
           {"noise.db", noise, kNoSqlite}}) {
    WriteFile(dir_.File(name), bytes);
    ExpectRefused(dir_.File(name), cause);
  }
}

TEST_F(DamagedFileTest, SqliteDatabasesOfAnotherKindAreRefused) {
  const auto make = [&](const std::string& name, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir_.File(name).c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  };
  make("other.db", "CREATE TABLE facture (numero INTEGER PRIMARY KEY, montant REAL);"
                   "INSERT INTO facture VALUES (1, 12.5);");
  ExpectRefused(dir_.File("other.db"), "base SQLite d'une autre application");
  // Another application that also sets its identifier.
  make("stamped.db", "PRAGMA application_id = 42; CREATE TABLE t (x);");
  ExpectRefused(dir_.File("stamped.db"), "base SQLite d'une autre application");
  // An mvdb database written by a newer program.
  std::filesystem::copy_file(good_, dir_.File("newer.db"));
  make("newer.db", "PRAGMA user_version = 9;");
  ExpectRefused(dir_.File("newer.db"), "format mvdb 9 plus récent que ce programme");
}

TEST_F(DamagedFileTest, DamagedHeadersAndSchemasAreRefused) {
  std::mt19937 random(11);
  const auto scramble = [&](std::size_t from, std::size_t to) {
    return [&random, from, to](std::string& bytes) {
      for (std::size_t i = from; i < to; ++i) bytes[i] = static_cast<char>(random());
    };
  };
  ExpectRefused(Damaged("header.db", scramble(0, 100)));
  ExpectRefused(Damaged("magic.db", scramble(0, 16)));
  ExpectRefused(Damaged("schema.db", scramble(100, PageSize())));  // the first page: the schema
  ExpectRefused(Damaged("page-size.db", [](std::string& bytes) { bytes[16] = 3; }));
}

// Cut anywhere, every 512 bytes. SQLite reads the missing end of a page cut short as zeros,
// which would pass for records with an empty key and an empty text: a file cut inside its last
// page must be refused too, not read.
TEST_F(DamagedFileTest, TruncatedDatabasesAreRefusedNamingTheFile) {
  ASSERT_EQ(good_bytes_.size() % PageSize(), 0u);
  int cuts = 0;
  for (std::size_t length = 0; length < good_bytes_.size(); length += 512, ++cuts) {
    ExpectRefused(Damaged("cut.db", [&](std::string& bytes) { bytes.resize(length); }),
                  length == 0 ? "base SQLite vide" : "fichier tronqué");
  }
  EXPECT_GT(cuts, 100);
}

// Permissions decide how a file opens. As root they stop nothing, so this runs as the user
// nobody, in a folder nobody may not write: an unreadable file is refused by name; a file that
// may be read but not written is refused to a writer, read whole by a reader (who needs no
// write access to the folder), and opened read-only by a host, whose writes then fail.
TEST_F(DamagedFileTest, PermissionsDecideHowAFileOpens) {
  std::filesystem::permissions(dir_.path(), std::filesystem::perms(0755));
  const std::string locked = dir_.File("locked.db");
  const std::string readable = dir_.File("readable.db");
  std::filesystem::copy_file(good_, locked);
  std::filesystem::copy_file(good_, readable);
  ::chmod(locked.c_str(), 0);
  ::chmod(readable.c_str(), 0444);
  const std::vector<std::pair<std::function<void()>, std::string>> cases = {
      {[&] { mvdb::OpenDatabase(locked); }, "0x80040014 base « " + locked + " » : accès refusé"},
      {[&] { mvdb::OpenDatabase(readable); },
       "0x80040014 base « " + readable + " » : écriture refusée (accès refusé)"},
      {[&] {
         std::ostringstream dump;
         mvdb::DumpJsonLines(*mvdb::OpenMvdb(readable, {.read_only = true}), {}, dump);
         if (dump.str() != good_dump_) throw ComponentError(0, "dump différent");
       },
       "ok"},
      {[&] {
         mvdb::OpenMvdb(readable, {.read_only_when_unwritable = true})
             ->WriteRecord("ACOMPTEBULL", "x", "1");
       },
       "0x8004000E écriture de « x » du fichier « ACOMPTEBULL » impossible : base ouverte en "
       "lecture seule"},
  };
  ChildProcess child;
  child.Start([&](int fd) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      WriteLine(fd, "skip\n");
      return;
    }
    for (const auto& [what, expected] : cases) {
      const auto error = ErrorOf(what);
      const std::string line =
          error ? FormatErrorNumber(error->number()) + " " + error->what() : "ok";
      WriteLine(fd, line + "\n");
    }
  });
  const std::string said = child.Wait();
  ASSERT_EQ(child.Outcome(), "exit 0") << said;
  if (said == "skip\n") GTEST_SKIP() << "running as root, and the user nobody cannot be taken";
  std::istringstream lines(said);
  for (const auto& [what, expected] : cases) {
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, expected);
  }
}

// A clerk's process killed right after a validation leaves its write-ahead log beside the file,
// and an interrupted creation its temporary files. Deleting the database alone to start again,
// then making it anew from the same data, gives exactly that data: the old log is not replayed
// onto the new file, and nothing of the interrupted creation stays.
TEST_F(DamagedFileTest, ANewDatabaseNeverReplaysWhatADeletedOneLeft) {
  const std::string path = dir_.File("again.db");
  MakeFixtureDatabase(path);
  ChildProcess child;
  child.Start([&](int) {
    ClerkSession session(mvdb::OpenDatabase(path));
    session.ChooseEntity();
    session.LoadCaregiver("00021");
    session.SetAmount(0, "12.34");
    session.Validate();
    ::raise(SIGKILL);  // no closing: the log stays as a crash leaves it
  });
  child.Wait();
  ASSERT_TRUE(child.Killed());
  ASSERT_TRUE(std::filesystem::exists(path + "-wal"));
  std::filesystem::remove(path);
  const std::string abandoned = path + ".creation-999999999";  // no process has that number
  WriteFile(abandoned, "half made");
  WriteFile(abandoned + "-wal", "half made");
  MakeFixtureDatabase(path);
  EXPECT_EQ(DumpExcept(path, {}), DumpExcept(good_, {}));
  EXPECT_FALSE(std::filesystem::exists(abandoned));
  EXPECT_FALSE(std::filesystem::exists(abandoned + "-wal"));
}

// Bytes overwritten anywhere, 200 times: opening and reading either work or raise a
// ComponentError; the tool ends with 0 or 1 and never dies of a signal; the panel opens or its
// host gets a ComponentError. (Damage inside a record's bytes can go unnoticed: SQLite pages
// carry no checksum.)
TEST_F(DamagedFileTest, GarbageAnywhereNeverCrashesTheToolOrThePanel) {
  int refused = 0;
  for (int seed = 1; seed <= 200; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(static_cast<unsigned>(seed));
    const std::string path = Damaged("garbage.db", [&](std::string& bytes) {
      const std::size_t count = 1 + random() % 256;
      const std::size_t at = random() % (bytes.size() - count);
      for (std::size_t i = 0; i < count; ++i) bytes[at + i] = static_cast<char>(random());
    });
    const auto error = ErrorOf([&] { ReadEverything(path); });
    if (error) ++refused;
    const ToolRun run = RunTool({"dump", path}, dir_.path().string());
    EXPECT_TRUE(run.outcome == "exit 0" || run.outcome == "exit 1") << run.outcome << run.err;
    if (run.exit_status == 1) {
      EXPECT_EQ(run.err.rfind("mvdb : erreur 0x8004", 0), 0u) << run.err;
    }
    ErrorOf([&] {
      ClerkSession session(mvdb::OpenDatabase(path));
      for (int i = 0; i < 4; ++i) session.toolkit().QueueAnswer(kAnswerNo);
      try {
        session.ChooseEntity();
        for (const char* code : {"00021", "00024", "00030"}) {
          session.LoadCaregiver(code);
          session.clerk().Click(panel::Cmd_AnnulerGene);
        }
      } catch (const ClerkRefusal&) {
        // The damage left the clerk nothing to type into: nothing more to try.
      }
    });
  }
  std::cout << "damaged copies refused on reading: " << refused << " of 200\n";
}

}  // namespace
}  // namespace varnolde::reliability
