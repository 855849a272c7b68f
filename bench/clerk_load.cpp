// clerk_load: many clerks at the advances panel at once on one database, each looking up
// caregivers and validating advances, then an audit of what the database holds.
//
//   clerk_load --db NAME [--clerks N] [--seconds S] [--seed N]
//
// NAME is an SQLite file or a server's connection text, as every program takes; it must be a
// database made by `mvdb generate` (its user "gestionnaire", its entities, open periods), and it
// is modified: run this on a copy (scripts/bench.sh does). The panel keeps process-wide shared
// objects, so each clerk is a process of its own (fork), with its own connection and its own
// PanelSession on the headless toolkit. Clerk c works on the c-th entity (modulo their number);
// the caregivers with a contract of an entity in the open period are dealt out to its clerks
// in a random order, so that no two clerks change the same advances (clerks of an office work
// on different files); a clerk that went through all its caregivers starts again. Each
// clerk, until the time is up: clears the caregiver code, types its first four digits, then the
// fifth (the lookup, timed from the fifth digit to the lists filled), types on every row it may
// change an amount that names the validation (below), and clicks Ok under the lists (the
// validation, timed to the end of the click).
//
// Validation number `tag` (from 1, unique in the run) gives row n (from 1 to 9) the amount
// tag * 10 + n hundredths, or no advance at all when tag + n is a multiple of 5, so that every
// validation both writes and removes advances and the stored rows alone tell which validation
// wrote them. A row already paid (a date in the state column) cannot be changed, and is written
// again as it is, as is a tenth row and after (a caregiver has nine contracts at most). Amounts
// go up to 99999.99: a clerk whose tags run out (after 999998 / N validations) stops early,
// and the run says so.
//
// The audit, after every clerk has ended, reads the database again and checks that:
//   - every advance a returned validation wrote is what the last such validation stored, whole
//     (a validation "lost" stored none of the rows it changed, a "partial" one some of them);
//     a validation whose rows a later validation of the same caregiver replaced (a clerk that
//     went through all its caregivers starts again) was checked by that clerk at the later
//     visit, from the amounts the lists showed before it typed anything;
//     a validation that showed the write-failure message (or that another clerk changed the
//     advances, which cannot happen here) left its rows as they were;
//   - no other advance and no record of any other file changed (hashes of everything else).
// It prints the figures (validations per second, the median and 99th percentile of a lookup
// and of a validation, the round trips per lookup and per validation on a server, counted as
// bench/pq_count.h says) and the audit, as lines "name value". Exit 0 when the audit finds
// nothing wrong, 1 when it does or a clerk failed, 2 for a bad command line.
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "components/errors.h"
#include "components/tables.h"
#include "host/panel_session.h"
#include "mvdb/dynarray.h"
#include "mvdb/link.h"
#include "mvdb/server/server_storage.h"
#include "panel/layout.h"
#include "pq_count.h"
#include "toolkit/headless/clerk_driver.h"
#include "toolkit/headless/headless_toolkit.h"

namespace varnolde::bench {
namespace {

namespace fs = std::filesystem;
namespace t = varnolde::tables;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kWriteFailed = "Erreur d'écriture de l'acompte dans la base.";
constexpr std::string_view kChangedByOther =
    "Les acomptes de cet aidant ont été modifiés par un autre utilisateur depuis leur "
    "affichage. Rechargez l'aidant pour voir leur état actuel.";
constexpr std::int64_t kMaxTag = 999998;  // the amount box takes 99999.99 at most
constexpr int kTaggedRows = 9;

struct Options {
  std::string db;
  int clerks = 32;
  double seconds = 60;
  std::uint64_t seed = 1;
};

// Opening for reading only (the options' other members as they come).
mvdb::OpenOptions ReadOnly() {
  mvdb::OpenOptions options;
  options.read_only = true;
  return options;
}

[[noreturn]] void Usage(const std::string& problem) {
  std::cerr << "clerk_load: " << problem << "\n"
            << "usage: clerk_load --db NAME [--clerks N] [--seconds S] [--seed N]\n";
  std::exit(2);
}

template <class Number>
Number ParseNumber(const std::string& option, const std::string& text, Number low, Number high) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    Usage(option + " takes a number from " + std::to_string(low) + " to " +
          std::to_string(high) + ", not '" + text + "'");
  }
  return value;
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) Usage(option + " needs a value");
    const std::string value = argv[++i];
    if (option == "--db") {
      options.db = value;
    } else if (option == "--clerks") {
      options.clerks = ParseNumber<int>(option, value, 1, 200);
    } else if (option == "--seconds") {
      options.seconds = ParseNumber<int>(option, value, 1, 3600);
    } else if (option == "--seed") {
      options.seed = ParseNumber<std::uint64_t>(option, value, 0, UINT64_MAX);
    } else {
      Usage("unknown option " + option);
    }
  }
  if (options.db.empty()) Usage("--db is required");
  return options;
}

// ---- What a validation stores ---------------------------------------------------------------

// An advance as the panel reads it: present or not, attribute 1 (amount in hundredths) and
// attribute 2 (stored payment date).
struct Advance {
  bool present = false;
  std::string amount;
  std::string paid_on;
  bool operator==(const Advance&) const = default;
};

Advance FromText(const std::string* text) {
  if (text == nullptr) return {};
  return {true, std::string(mvdb::ExtractField(*text, mvdb::kAM, 1)),
          std::string(mvdb::ExtractField(*text, mvdb::kAM, 2))};
}

std::string Describe(const Advance& advance) {
  if (!advance.present) return "<aucun>";
  return advance.paid_on.empty() ? advance.amount : advance.amount + " payé " + advance.paid_on;
}

// What validation tag stores on row n.
std::optional<std::int64_t> Planned(std::int64_t tag, int row) {
  if ((tag + row) % 5 == 0) return std::nullopt;
  return tag * 10 + row;
}

// The amount a clerk types for a number of hundredths: 1205 -> "12.05".
std::string TypedAmount(std::int64_t hundredths) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%02lld", static_cast<long long>(hundredths / 100),
                static_cast<long long>(hundredths % 100));
  return text;
}

// The digits of an amount cell of the lists ("  1 234,56" -> "123456"): the stored hundredths,
// since the cell shows two decimals.
std::string DigitsOf(std::string_view cell) {
  std::string digits;
  for (char c : cell) {
    if (c >= '0' && c <= '9') digits += c;
  }
  const auto first = digits.find_first_not_of('0');
  return first == std::string::npos ? (digits.empty() ? "" : "0") : digits.substr(first);
}

// ---- The database before and after ---------------------------------------------------------

std::uint64_t Fnv(std::uint64_t hash, std::string_view bytes) {
  for (char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

// Every file as one hash each, but the advances of the period of the caregivers the clerks may
// change: those record by record.
struct Snapshot {
  std::map<std::string, std::uint64_t> hashes;
  std::map<std::string, std::string> advances;  // key -> record
};

Snapshot Take(mvdb::Database& database, const std::unordered_set<std::string>& caregivers,
              const std::string& period) {
  Snapshot snapshot;
  for (const std::string& file : database.FileNames()) {
    std::uint64_t hash = 14695981039346656037ull;
    const bool advances = file == t::kAcompteBull;
    database.ForEachRecord(file, [&](std::string_view key, std::string_view text) {
      if (advances && key.ends_with(period) &&
          caregivers.count(std::string(key.substr(0, 5))) != 0) {
        snapshot.advances.emplace(key, text);
        return;
      }
      hash = Fnv(Fnv(Fnv(hash, key), "\x01"), text);
      hash = Fnv(hash, "\x02");
    });
    snapshot.hashes[file] = hash;
  }
  return snapshot;
}

// For each entity, the caregivers with a contract the panel lists for that entity in the open
// period, digit codes only (the code box takes digits).
std::map<std::string, std::vector<std::string>> CaregiversByEntity(mvdb::Database& database,
                                                                   std::string& period) {
  auto periods = database.OpenFile(t::kPeriodesPaie);
  period = periods->Read(t::periodespaie::kKey)->Get(t::periodespaie::kFirstPeriod);
  if (period.size() != 6 || period.find_first_not_of("0123456789") != std::string::npos) {
    throw std::runtime_error("période de paie illisible : " + period);
  }
  using namespace std::chrono;
  const year_month month{year{std::stoi(period.substr(0, 4))},
                         std::chrono::month{static_cast<unsigned>(std::stoi(period.substr(4)))}};
  const sys_days origin = 1967y / December / 31;
  const auto first_day = (sys_days{month / 1} - origin).count();
  const auto last_day = (sys_days{month / std::chrono::last} - origin).count();
  std::map<std::string, std::set<std::string>> codes;
  database.ForEachRecord(t::kAssociation, [&](std::string_view key, std::string_view) {
    codes[std::string(key)];
  });
  database.ForEachRecord(t::kContrat, [&](std::string_view key, std::string_view text) {
    using mvdb::ExtractField, mvdb::kAM;
    namespace c = t::contrat;
    const std::string_view code = key.substr(0, 5);
    if (code.size() != 5 || code.find_first_not_of("0123456789") != std::string_view::npos) return;
    const auto entity = codes.find(std::string(ExtractField(text, kAM, c::kEntity)));
    if (entity == codes.end()) return;
    if (ExtractField(text, kAM, c::kEmployer) == "O2") return;
    if (ExtractField(text, kAM, c::kFlag65) == "O") return;
    const std::string_view start = ExtractField(text, kAM, c::kStart);
    const std::string_view end = ExtractField(text, kAM, c::kEnd);
    long long start_day = 0, end_day = 0;
    std::from_chars(start.data(), start.data() + start.size(), start_day);
    std::from_chars(end.data(), end.data() + end.size(), end_day);
    if (start.empty() || start_day > last_day) return;
    if (!end.empty() && end_day < first_day) return;
    entity->second.emplace(code);
  });
  std::map<std::string, std::vector<std::string>> lists;
  for (const auto& [entity, set] : codes) {
    if (!set.empty()) lists[entity].assign(set.begin(), set.end());
  }
  return lists;
}

// ---- One clerk ------------------------------------------------------------------------------

// What a clerk did, as it writes it to its report file, one line each:
//   L <µs>                                a lookup
//   V <µs>                                a validation
//   W <code> <tag> ok|failed|refused <key>=<hundredths>|-|* ...
//                                         a validation: each row's advance key and what the
//                                         clerk typed (- none, * a row left as it is);
//                                         failed: the write failure shown, refused: the
//                                         panel said another clerk changed the advances
//   C <statements> <round trips> <statements> <round trips>
//                                         server statements of all lookups, of all validations
//   R <tag> ok|wrong <key>:<shown>        back at a caregiver, what the lists show of the
//                                         last validation <tag> there
//   T                                     the clerk stopped early: its tags ran out
//   M <text>                              a message box other than the write failure
//   X <text>                              the clerk stopped on an error
struct ClerkWork {
  std::string entity;
  std::vector<std::string> caregivers;
  std::int64_t first_tag = 1;
  std::int64_t tag_step = 1;
};

void RunClerk(const Options& options, const ClerkWork& work, const std::string& period,
              int ready_fd, int go_fd, const std::string& report_path) {
  std::ofstream report(report_path);
  bool signalled = false;  // the parent heard from this clerk
  try {
    HeadlessToolkit toolkit;
    auto session = host::PanelSession::Open(toolkit, options.db,
                                            host::SessionSettings{"gestionnaire", "fr_FR"});
    ClerkDriver clerk(toolkit);
    clerk.Type(panel::txt_Entite, work.entity);
    const char ready = 'r';
    if (write(ready_fd, &ready, 1) != 1) throw std::runtime_error("parent gone");
    signalled = true;
    char go = 0;
    while (read(go_fd, &go, 1) > 0) {
    }  // the parent closes the pipe to start every clerk at once
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(options.seconds));
    PqCounts lookup_counts, validation_counts;
    // The last validation of each caregiver that returned without a message: its tag and what
    // it typed on each row's advance key.
    struct Stored {
      std::int64_t tag;
      std::map<std::string, std::string> rows;
    };
    std::map<std::string, Stored> stored;
    std::int64_t tag = work.first_tag;
    std::size_t next = 0;
    auto micros = [](Clock::time_point since) {
      return std::chrono::duration<double, std::micro>(Clock::now() - since).count();
    };
    while (Clock::now() < deadline && tag <= kMaxTag && !work.caregivers.empty()) {
      const std::string& code = work.caregivers[next++ % work.caregivers.size()];
      while (!toolkit.Text(panel::txt_CodeAidant).empty()) {
        clerk.PressKey(panel::txt_CodeAidant, ClerkKey::kBackspace);
      }
      clerk.Type(panel::txt_CodeAidant, code.substr(0, 4));
      // A caregiver with no contract this month makes the panel offer the previous month.
      if (toolkit.PendingAnswers() == 0) toolkit.QueueAnswer(kAnswerNo);
      PqCounts counted = PqCounted();
      auto start = Clock::now();
      clerk.Type(panel::txt_CodeAidant, code.substr(4));
      report << "L " << micros(start) << '\n';
      lookup_counts = lookup_counts + (PqCounted() - counted);
      const int rows = toolkit.ListCount(panel::Lst_CodeContrat);
      if (rows == 0) continue;
      // Back at a caregiver it validated before: the lists show what that validation stored.
      const auto previous = stored.find(code);
      if (previous != stored.end()) {
        std::string wrong;
        for (int row = 0; row < rows && wrong.empty(); ++row) {
          const std::string key = toolkit.ItemText(panel::Lst_CodeContrat, row) + period;
          const auto typed = previous->second.rows.find(key);
          if (typed == previous->second.rows.end() || typed->second == "*") continue;
          const std::string shown = DigitsOf(toolkit.ItemText(panel::lst_Acompte, row));
          if (shown != (typed->second == "-" ? "" : typed->second) ||
              toolkit.ItemText(panel::lst_Etat, row).find_first_not_of(' ') != std::string::npos) {
            wrong = key + ":" + (shown.empty() ? "-" : shown);
          }
        }
        report << "R " << previous->second.tag << (wrong.empty() ? " ok" : " wrong " + wrong)
               << '\n';
      }

      std::ostringstream line;
      line << "W " << code << ' ' << tag;
      std::ostringstream rows_typed;
      Stored typed_rows{tag, {}};
      for (int row = 0; row < rows; ++row) {
        const std::string contract = toolkit.ItemText(panel::Lst_CodeContrat, row);
        if (contract.empty()) continue;
        rows_typed << ' ' << contract << period << '=';
        if (row >= kTaggedRows ||
            toolkit.ItemText(panel::lst_Etat, row).find_first_not_of(' ') != std::string::npos) {
          rows_typed << '*';
          typed_rows.rows[contract + period] = "*";
          continue;
        }
        const std::optional<std::int64_t> amount = Planned(tag, row + 1);
        clerk.DoubleClickRow(panel::lst_Acompte, row);
        clerk.Focus(panel::txt_Acompte);
        while (!toolkit.Text(panel::txt_Acompte).empty()) {
          clerk.PressKey(panel::txt_Acompte, ClerkKey::kBackspace);
        }
        if (amount) clerk.Type(panel::txt_Acompte, TypedAmount(*amount));
        clerk.Click(panel::cmd_Ok);
        const std::string typed = amount ? std::to_string(*amount) : "-";
        rows_typed << typed;
        typed_rows.rows[contract + period] = typed;
      }
      const std::size_t shown = toolkit.Messages().size();
      counted = PqCounted();
      start = Clock::now();
      clerk.Click(panel::cmd_Valider);
      report << "V " << micros(start) << '\n';
      validation_counts = validation_counts + (PqCounted() - counted);
      const char* outcome = " ok";
      for (std::size_t i = shown; i < toolkit.Messages().size(); ++i) {
        const std::string& text = toolkit.Messages()[i].text;
        if (text == kWriteFailed) {
          outcome = " failed";
        } else if (text == kChangedByOther) {
          outcome = " refused";
        } else {
          report << "M " << text << '\n';
        }
      }
      report << line.str() << outcome << rows_typed.str() << '\n';
      if (std::string_view(outcome) == " ok") stored[code] = std::move(typed_rows);
      tag += work.tag_step;
    }
    if (tag > kMaxTag) report << "T\n";
    report << "C " << lookup_counts.statements << ' ' << lookup_counts.round_trips << ' '
           << validation_counts.statements << ' ' << validation_counts.round_trips << '\n';
  } catch (const std::exception& e) {
    report << "X " << e.what() << '\n';
    report.flush();
    const char failed = 'x';
    if (!signalled) [[maybe_unused]] auto ignored = write(ready_fd, &failed, 1);
    _exit(3);
  }
  report.flush();
  _exit(report ? 0 : 3);
}

// ---- The run --------------------------------------------------------------------------------

struct Validation {
  int clerk;
  std::string code;
  std::int64_t tag;
  bool ok;
  bool refused;  // not ok: another clerk's change was reported, nothing written
  std::vector<std::pair<std::string, std::string>> rows;  // key, typed
};

double Percentile(std::vector<double>& samples, double p) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  return samples[static_cast<std::size_t>(p / 100.0 * static_cast<double>(samples.size() - 1))];
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

int Run(const Options& options) {
  const bool server = mvdb::IsServerName(options.db);
  std::cout << "storage " << (server ? "server" : "file") << "\nclerks " << options.clerks
            << "\nseconds " << options.seconds << std::endl;

  // The caregivers, dealt out, and the database before the run; no connection stays open
  // across the forks.
  std::string period;
  std::vector<ClerkWork> work(static_cast<std::size_t>(options.clerks));
  Snapshot before;
  std::unordered_set<std::string> pool;
  {
    auto database = mvdb::OpenMvdb(options.db, ReadOnly());
    auto by_entity = CaregiversByEntity(*database, period);
    if (by_entity.empty()) throw std::runtime_error("aucun aidant sous contrat dans la période");
    // Clerk c works on entity number c modulo the entities; the caregivers of an entity are
    // dealt out to its clerks in a random order. A caregiver with contracts in two entities
    // may be held by two clerks, each changing only the advances of its entity's contracts.
    std::vector<std::string> entities;
    for (const auto& [entity, _] : by_entity) entities.push_back(entity);
    std::mt19937_64 random(options.seed);
    std::size_t caregivers = 0;
    for (std::size_t e = 0; e < entities.size(); ++e) {
      std::vector<std::string>& codes = by_entity[entities[e]];
      std::shuffle(codes.begin(), codes.end(), random);
      std::vector<std::size_t> clerks;
      for (std::size_t c = e; c < work.size(); c += entities.size()) clerks.push_back(c);
      for (std::size_t i = 0; i < codes.size() && !clerks.empty(); ++i) {
        work[clerks[i % clerks.size()]].caregivers.push_back(codes[i]);
      }
      if (clerks.empty()) continue;  // fewer clerks than entities
      caregivers += codes.size();
      pool.insert(codes.begin(), codes.end());
    }
    for (std::size_t c = 0; c < work.size(); ++c) {
      work[c].entity = entities[c % entities.size()];
      work[c].first_tag = static_cast<std::int64_t>(c) + 1;
      work[c].tag_step = options.clerks;
    }
    std::cout << "entities " << entities.size() << "\ncaregivers " << caregivers
              << "\nperiod " << period << std::endl;
    const auto start = Clock::now();
    before = Take(*database, pool, period);
    std::cout << "snapshot_s "
              << std::chrono::duration<double>(Clock::now() - start).count() << std::endl;
  }

  const fs::path reports = fs::temp_directory_path() / ("clerk_load." + std::to_string(getpid()));
  fs::create_directories(reports);
  int ready[2], go[2];
  if (pipe(ready) != 0 || pipe(go) != 0) throw std::runtime_error("pipe failed");
  std::vector<pid_t> children;
  std::cout.flush();
  for (int c = 0; c < options.clerks; ++c) {
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
      close(ready[0]);
      close(go[1]);
      RunClerk(options, work[static_cast<std::size_t>(c)], period, ready[1], go[0],
               (reports / ("clerk-" + std::to_string(c))).string());
    }
    children.push_back(pid);
  }
  close(ready[1]);
  close(go[0]);
  int started = 0, failed_to_start = 0;
  while (started + failed_to_start < options.clerks) {
    pollfd waiting{ready[0], POLLIN, 0};
    if (poll(&waiting, 1, 300000) <= 0) break;  // five minutes for every panel to open
    char answer = 0;
    if (read(ready[0], &answer, 1) != 1) break;  // every clerk ended
    (answer == 'r' ? started : failed_to_start) += 1;
  }
  close(ready[0]);
  const std::string load_before = LoadAverage();
  const auto start = Clock::now();
  close(go[1]);  // go
  int clerk_failures = 0;
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++clerk_failures;
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  const std::string load_after = LoadAverage();

  // What the clerks did.
  std::vector<double> lookups, validation_times;
  std::vector<Validation> validations;
  PqCounts lookup_counts, validation_counts;
  std::map<std::string, int> messages;
  std::vector<std::string> errors;
  int out_of_tags = 0;
  // Validations a clerk found again at a later visit of their caregiver, by tag.
  std::map<std::int64_t, std::string> seen_whole, seen_wrong;
  for (int c = 0; c < options.clerks; ++c) {
    std::ifstream in(reports / ("clerk-" + std::to_string(c)));
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string kind;
      fields >> kind;
      if (kind == "L" || kind == "V") {
        double micros = 0;
        fields >> micros;
        (kind == "L" ? lookups : validation_times).push_back(micros);
      } else if (kind == "W") {
        Validation v{c, "", 0, false, false, {}};
        std::string outcome, row;
        fields >> v.code >> v.tag >> outcome;
        v.ok = outcome == "ok";
        v.refused = outcome == "refused";
        while (fields >> row) {
          const auto equal = row.find('=');
          v.rows.emplace_back(row.substr(0, equal), row.substr(equal + 1));
        }
        validations.push_back(std::move(v));
      } else if (kind == "C") {
        PqCounts lookup, validation;
        fields >> lookup.statements >> lookup.round_trips >> validation.statements >>
            validation.round_trips;
        lookup_counts = lookup_counts + lookup;
        validation_counts = validation_counts + validation;
      } else if (kind == "R") {
        std::int64_t tag = 0;
        std::string outcome, detail;
        fields >> tag >> outcome >> detail;
        (outcome == "ok" ? seen_whole : seen_wrong)[tag] = detail;
      } else if (kind == "T") {
        ++out_of_tags;
      } else if (kind == "M") {
        ++messages[line.substr(2)];
      } else if (kind == "X") {
        errors.push_back("gestionnaire " + std::to_string(c) + " : " + line.substr(2));
      }
    }
  }
  fs::remove_all(reports);

  const auto ok = std::count_if(validations.begin(), validations.end(),
                                [](const Validation& v) { return v.ok; });
  const auto refused = std::count_if(validations.begin(), validations.end(),
                                     [](const Validation& v) { return v.refused; });
  const double lookup_count = static_cast<double>(lookups.size());
  const double validation_count = static_cast<double>(validation_times.size());
  std::cout << "clerks_started " << started << "\nclerk_failures " << clerk_failures
            << "\nelapsed_s " << elapsed << "\nload_average_before " << load_before
            << "\nload_average_after " << load_after << "\nlookups " << lookups.size()
            << "\nvalidations " << validations.size() << "\nvalidations_ok " << ok
            << "\nvalidations_write_failure "
            << validations.size() - static_cast<std::size_t>(ok + refused)
            << "\nvalidations_refused_changed_by_another " << refused
            << "\nvalidations_per_s " << static_cast<double>(ok) / elapsed
            << "\nlookup_p50_us " << Percentile(lookups, 50) << "\nlookup_p99_us "
            << Percentile(lookups, 99) << "\nvalidation_p50_us "
            << Percentile(validation_times, 50) << "\nvalidation_p99_us "
            << Percentile(validation_times, 99) << '\n';
  if (server && lookup_count > 0 && validation_count > 0) {
    std::cout << "round_trips_per_lookup "
              << static_cast<double>(lookup_counts.round_trips) / lookup_count
              << "\nround_trips_per_validation "
              << static_cast<double>(validation_counts.round_trips) / validation_count << '\n';
  }
  if (out_of_tags > 0) std::cout << "clerks_out_of_tags " << out_of_tags << '\n';
  for (const auto& [text, count] : messages) {
    std::cout << "message " << count << " × " << text << '\n';
  }
  for (const std::string& error : errors) std::cout << "clerk_error " << error << '\n';

  // The audit: what each advance key of the clerks' caregivers should hold now, and which
  // returned validation stored it last.
  struct Expected {
    bool raw = true;          // as before the run, byte for byte
    Advance advance;          // otherwise: what the panel reads
    long last_writer = -1;    // index into validations
  };
  std::map<std::string, Expected> expected;
  for (const auto& [key, text] : before.advances) expected[key] = {true, FromText(&text), -1};
  std::map<long, std::size_t> edited_rows;  // validation -> rows it typed (not "*")
  for (std::size_t i = 0; i < validations.size(); ++i) {
    const Validation& v = validations[i];
    if (!v.ok) continue;
    for (const auto& [key, typed] : v.rows) {
      Expected& e = expected[key];
      e.last_writer = static_cast<long>(i);
      if (typed == "*") {
        e.raw = false;  // written again as it was: compared by what the panel reads
        continue;
      }
      e.raw = false;
      e.advance = typed == "-" ? Advance{} : Advance{true, typed, ""};
      ++edited_rows[static_cast<long>(i)];
    }
  }

  Snapshot after;
  {
    auto database = mvdb::OpenMvdb(options.db, ReadOnly());
    const auto audit_start = Clock::now();
    after = Take(*database, pool, period);
    std::cout << "audit_read_s "
              << std::chrono::duration<double>(Clock::now() - audit_start).count() << '\n';
  }
  std::map<long, std::size_t> wrong_rows;  // validation -> its rows found otherwise
  std::vector<std::string> problems;
  std::set<std::string> wrong_keys;
  std::size_t changed_outside = 0;
  auto check = [&](const std::string& key) {
    const auto e = expected.find(key);
    const auto b = before.advances.find(key);
    const auto a = after.advances.find(key);
    const std::string* now = a == after.advances.end() ? nullptr : &a->second;
    bool right;
    if (e == expected.end() || e->second.raw) {
      const std::string* then = b == before.advances.end() ? nullptr : &b->second;
      right = (now == nullptr) == (then == nullptr) && (now == nullptr || *now == *then);
    } else {
      right = FromText(now) == e->second.advance;
    }
    if (right) return;
    wrong_keys.insert(key);
    const long writer = e == expected.end() ? -1 : e->second.last_writer;
    if (writer >= 0) {
      ++wrong_rows[writer];
    } else {
      ++changed_outside;
    }
    if (problems.size() < 10) {
      problems.push_back(key + " : " + Describe(FromText(now)) + ", attendu " +
                         (e == expected.end() ? std::string("<aucun>")
                                              : Describe(e->second.advance)) +
                         (writer >= 0 ? " (validation " +
                                            std::to_string(validations[static_cast<std::size_t>(
                                                writer)].tag) + ")"
                                      : ""));
    }
  };
  for (const auto& [key, _] : expected) check(key);
  for (const auto& [key, _] : after.advances) {
    if (expected.count(key) == 0) check(key);
  }

  // Every returned validation that is the last one of its caregiver's rows is checked whole.
  std::set<long> last_writers;
  for (const auto& [key, e] : expected) {
    if (e.last_writer >= 0) last_writers.insert(e.last_writer);
  }
  std::size_t whole = 0, lost = 0, partial = 0;
  for (long v : last_writers) {
    const std::size_t wrong = wrong_rows.count(v) != 0 ? wrong_rows[v] : 0;
    if (wrong == 0) {
      ++whole;
    } else if (edited_rows.count(v) != 0 && wrong >= edited_rows[v]) {
      ++lost;
    } else {
      ++partial;
    }
  }
  // A validation that showed the write failure, or that another clerk's change was refused,
  // must have left its rows as they were.
  std::size_t failed_left_nothing = 0;
  for (const Validation& v : validations) {
    if (v.ok) continue;
    const bool untouched = std::none_of(v.rows.begin(), v.rows.end(), [&](const auto& row) {
      return wrong_keys.count(row.first) != 0;
    });
    if (untouched) ++failed_left_nothing;
  }
  std::vector<std::string> files_changed;
  for (const auto& [file, hash] : before.hashes) {
    const auto found = after.hashes.find(file);
    if (found == after.hashes.end() || found->second != hash) files_changed.push_back(file);
  }
  for (const auto& [file, hash] : after.hashes) {
    if (before.hashes.count(file) == 0) files_changed.push_back(file);
  }
  // A returned validation whose rows a later one of the same caregiver replaced was checked
  // by the clerk at that later visit, from what the lists showed.
  std::size_t seen_again = 0, seen_wrong_count = 0, unchecked = 0;
  for (std::size_t i = 0; i < validations.size(); ++i) {
    if (!validations[i].ok || last_writers.count(static_cast<long>(i)) != 0) continue;
    const std::int64_t tag = validations[i].tag;
    if (seen_wrong.count(tag) != 0) {
      ++seen_wrong_count;
      if (problems.size() < 10) {
        problems.push_back("validation " + std::to_string(tag) + " revue sur les listes : " +
                           seen_wrong[tag]);
      }
    } else if (seen_whole.count(tag) != 0) {
      ++seen_again;
    } else {
      ++unchecked;
    }
  }
  std::cout << "audit_validations_checked_whole " << whole + seen_again
            << "\naudit_validations_checked_at_a_later_visit " << seen_again
            << "\naudit_validations_unchecked " << unchecked << "\naudit_lost " << lost
            << "\naudit_partial " << partial << "\naudit_wrong_at_a_later_visit "
            << seen_wrong_count << "\naudit_failed_validations_left_nothing "
            << failed_left_nothing << "\naudit_other_advances_changed "
            << changed_outside << "\naudit_files_changed " << files_changed.size();
  for (const std::string& file : files_changed) std::cout << ' ' << file;
  std::cout << '\n';
  for (const std::string& problem : problems) std::cout << "audit_problem " << problem << '\n';
  const bool sound = lost == 0 && partial == 0 && seen_wrong_count == 0 && unchecked == 0 &&
                     changed_outside == 0 && files_changed.empty() && clerk_failures == 0 &&
                     started == options.clerks;
  std::cout << "audit " << (sound ? "ok" : "FAILED") << std::endl;
  return sound ? 0 : 1;
}

}  // namespace
}  // namespace varnolde::bench

int main(int argc, char** argv) {
  const varnolde::bench::Options options = varnolde::bench::ParseOptions(argc, argv);
  try {
    return varnolde::bench::Run(options);
  } catch (const std::exception& e) {
    std::cerr << "clerk_load: " << e.what() << '\n';
    return 1;
  }
}
