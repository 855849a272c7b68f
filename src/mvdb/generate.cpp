// The synthetic employer (generate.h). Records are written in key order, file by file within
// each caregiver, so that SQLite appends to its B-trees instead of splitting pages at random.
#include "mvdb/generate.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "components/errors.h"
#include "components/rights.h"
#include "components/tables.h"
#include "mvdb/dictionary.h"
#include "mvdb/dynarray.h"

namespace varnolde::mvdb {
namespace {

namespace t = varnolde::tables;

constexpr std::int64_t kMaxPersons = 100000 + 26 * 10000;
constexpr std::int64_t kMaxContractsPerCaregiver = 999;
constexpr std::array<const char*, kGeneratedPeriods> kPeriods = {
    "202607", "202608", "202609", "202610", "202611", "202612"};
constexpr int kFirstOpenPeriod = 4;  // index of the first open period in kPeriods

// splitmix64: small, fast and the same everywhere.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [low, high].
  std::int64_t Between(std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(high - low + 1));
  }
  bool Chance(int percent) { return Between(0, 99) < percent; }

 private:
  std::uint64_t state_;
};

// Stored date of a calendar day: day 1 is 1 January 1968.
std::int64_t DayNumber(int year, int month, int day) {
  // Days from civil (Howard Hinnant's algorithm), shifted to the stored origin.
  year -= month <= 2 ? 1 : 0;
  const int era = year / 400;
  const int year_of_era = year - era * 400;
  const int day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const std::int64_t days_since_1970 = std::int64_t{era} * 146097 + day_of_era - 719468;
  return days_since_1970 + 731;  // 1968-01-01 is day 1, 1970-01-01 day 732
}

// Common surnames, the most frequent first; several share the prefix "DUP" so that a name
// search on it returns many caregivers, as it does at a real employer.
constexpr std::array<std::string_view, 40> kCommonSurnames = {
    "MARTIN",  "BERNARD", "DUPONT",   "THOMAS",  "PETIT",    "ROBERT",   "RICHARD", "DURAND",
    "DUBOIS",  "MOREAU",  "LAURENT",  "SIMON",   "MICHEL",   "LEFEBVRE", "LEROY",   "ROUX",
    "DAVID",   "BERTRAND", "MOREL",   "FOURNIER", "GIRARD",  "BONNET",   "DUPUIS",  "LAMBERT",
    "FONTAINE", "ROUSSEAU", "VINCENT", "MULLER", "LEFEVRE",  "FAURE",    "ANDRE",   "MERCIER",
    "BLANC",   "GUERIN",  "BOYER",    "GARNIER", "CHEVALIER", "FRANCOIS", "DUPRE",  "DUPUY"};
constexpr std::array<std::string_view, 24> kSyllables = {
    "BA", "BEL", "CHA", "CO", "DA", "FER", "GAU", "JOL", "KER", "LA", "MAR", "NEV",
    "OL", "PER", "QUI", "RIV", "SAL", "TEL", "VAL", "WIL", "YV", "ZE", "LIN", "RAND"};
constexpr std::array<std::string_view, 24> kFirstNames = {
    "Léa",    "Hélène", "Zoé",     "Chloé",  "Camille",  "Inès",    "Élodie", "Maëlle",
    "Noémie", "Aurélie", "Céline", "Gaëlle", "Françoise", "Josiane", "Agnès", "Sébastien",
    "Noël",   "Jérôme", "Renée",   "Mélanie", "Stéphane", "Anaïs",  "Joëlle", "Geneviève"};
constexpr std::array<std::string_view, 4> kGroups = {"NORD", "SUD", "EST", "OUEST"};
constexpr int kEntities = 8;

std::string EntityCode(std::int64_t n) {
  std::string code = std::to_string(n + 1);
  return std::string(3 - code.size(), '0') + code;
}

std::string Surname(Random& random) {
  if (random.Chance(70)) {
    // Rank floor(n * u^2) for u uniform in [0, 1): a few very common names, a long tail.
    const double u = static_cast<double>(random.Between(0, 9999)) / 10000.0;
    const auto rank = static_cast<std::size_t>(static_cast<double>(kCommonSurnames.size()) * u * u);
    return std::string(kCommonSurnames[rank]);
  }
  std::string name;
  const int syllables = static_cast<int>(random.Between(2, 3));
  for (int i = 0; i < syllables; ++i) name += kSyllables[random.Between(0, kSyllables.size() - 1)];
  return name;
}

// How many of `remaining` items the next of `slots` slots takes: about the average, between
// least and most, always leaving the other slots a feasible share.
std::int64_t Share(Random& random, std::int64_t remaining, std::int64_t slots, std::int64_t least,
                   std::int64_t most) {
  const std::int64_t average = remaining / slots;
  std::int64_t low = std::max(least, remaining - (slots - 1) * most);
  std::int64_t high = std::min(most, remaining - (slots - 1) * least);
  const std::int64_t spread_high = std::max(least, 2 * average - least);
  std::int64_t pick_high = std::clamp(spread_high, low, high);
  return random.Between(low, std::max(low, pick_high));
}

// Builds a record text from attributes 1..n.
class RecordText {
 public:
  void Add(std::string_view value) {
    if (count_++ > 0) text_ += kAM;
    text_ += value;
  }
  void AddNumber(std::int64_t value) { Add(std::to_string(value)); }
  std::string Take() {
    count_ = 0;
    return std::move(text_);
  }

 private:
  std::string text_;
  int count_ = 0;
};

class Generator {
 public:
  Generator(Database& database, const GenerateOptions& options)
      : database_(database), options_(options), random_(options.seed) {}

  std::map<std::string, std::int64_t> Run() {
    Check();
    for (std::string_view file : t::kPanelTables) Create(file);
    Create(t::kUtilisateurs);
    Create(DictFileOf(t::kCivilAidant));
    Write(DictFileOf(t::kCivilAidant), t::civilaidant::kNameItem,
          std::string("I") + kAM + "UPCASE(@2:\" \":@3)");
    Write(t::kPeriodesPaie, t::periodespaie::kKey,
          std::string(kPeriods[kFirstOpenPeriod]) + kAM + kPeriods[kFirstOpenPeriod + 1]);
    Write(t::kUtilisateurs, "gestionnaire", std::string(kConsultationFunction) + kAM + "2" + kAM + "*");
    for (int e = 0; e < kEntities; ++e) {
      const std::string code = EntityCode(e);
      Write(t::kAssociation, code,
            "Association d'aide à domicile n° " + code + kAM + "ADOM " + code);
    }
    persons_cared_for_ = std::min(kMaxPersons, std::max<std::int64_t>(1, options_.caregivers / 2));
    for (std::int64_t p = 0; p < persons_cared_for_; ++p) {
      Write(t::kCivilAide, PersonCode(p),
            std::string(random_.Chance(70) ? "Mme" : "M.") + kAM + Surname(random_) + kAM +
                std::string(kFirstNames[random_.Between(0, kFirstNames.size() - 1)]));
    }
    contracts_left_ = options_.contracts;
    advances_left_ = options_.advances;
    for (std::int64_t c = 0; c < options_.caregivers; ++c) Caregiver(c);
    written_[std::string(t::kCivilAidant) + " index"] =
        database_.CreateIndex(t::kCivilAidant, t::civilaidant::kNameItem);
    return written_;
  }

 private:
  void Check() const {
    const auto& o = options_;
    auto refuse = [](const std::string& why) {
      throw ComponentError(err::kBadData, "génération impossible : " + why);
    };
    if (o.caregivers < 1 || o.caregivers > kMaxPersons) {
      refuse("le nombre d'aidants doit être entre 1 et " + std::to_string(kMaxPersons));
    }
    if (o.contracts < o.caregivers || o.contracts > o.caregivers * kMaxContractsPerCaregiver) {
      refuse("il faut entre 1 et 999 contrats par aidant");
    }
    if (o.advances < 0 || o.advances > o.contracts * kGeneratedPeriods) {
      refuse("il faut entre 0 et " + std::to_string(kGeneratedPeriods) + " acomptes par contrat");
    }
  }

  void Create(std::string_view file) {
    if (!database_.CreateFile(file)) {
      throw ComponentError(err::kWriteFailed, "génération impossible : le fichier « " +
                                                  std::string(file) + " » existe déjà");
    }
  }

  void Write(std::string_view file, std::string_view key, const std::string& text) {
    database_.StoreRecord(file, key, text);
    ++written_[std::string(file)];
  }

  void Caregiver(std::int64_t n) {
    const std::string code = PersonCode(n);
    const std::string surname = Surname(random_);
    const bool woman = random_.Chance(85);
    RecordText record;
    record.Add(woman ? "Mme" : "M.");
    record.Add(surname);
    record.Add(kFirstNames[random_.Between(0, kFirstNames.size() - 1)]);
    record.Add(std::to_string(random_.Between(1, 120)) + " rue des Tilleuls");
    record.Add(std::to_string(random_.Between(10, 95)) + "000");
    for (int a = 6; a <= 30; ++a) record.Add(random_.Chance(50) ? "" : std::to_string(a * 7));
    record.Add(kGroups[random_.Between(0, kGroups.size() - 1)]);
    Write(t::kCivilAidant, code, record.Take());

    const std::int64_t slots = options_.caregivers - n;
    const std::int64_t contracts = Share(random_, contracts_left_, slots, 1,
                                         kMaxContractsPerCaregiver);
    contracts_left_ -= contracts;
    const std::int64_t home_entity = random_.Between(0, kEntities - 1);
    for (std::int64_t k = 1; k <= contracts; ++k) {
      std::string number = std::to_string(k);
      Contract(code + std::string(3 - number.size(), '0') + number, home_entity);
    }
  }

  void Contract(const std::string& key, std::int64_t home_entity) {
    const bool cared_for = random_.Chance(60);  // employer "02": the person cared for
    const std::string entity = EntityCode(random_.Chance(90) ? home_entity
                                                             : random_.Between(0, kEntities - 1));
    const std::int64_t start =
        DayNumber(static_cast<int>(random_.Between(2015, 2026)),
                  static_cast<int>(random_.Between(1, 12)), static_cast<int>(random_.Between(1, 28)));
    const bool open_ended = random_.Chance(45);
    const std::int64_t end = start + random_.Between(30, 2500);

    RecordText record;
    record.Add(cared_for ? "02" : entity);                                      // 1
    record.Add(entity);                                                          // 2
    record.Add(cared_for ? PersonCode(random_.Between(0, persons_cared_for_ - 1)) + "01"
                         : "");                                                  // 3
    record.Add(random_.Chance(80) ? "CDI" : "CDD");                              // 4
    record.Add("Assistant(e) de vie");                                           // 5
    record.AddNumber(random_.Between(1150, 1650));                               // 6 hourly rate
    record.AddNumber(start);                                                     // 7
    record.Add(open_ended ? "" : std::to_string(end));                          // 8
    for (int a = 9; a <= 64; ++a) {
      if (a == 28) {
        record.Add(cared_for && random_.Chance(10) ? "1" : "");
      } else if (a % 3 == 0) {
        record.AddNumber(random_.Between(0, 999999));
      } else if (a % 5 == 0) {
        record.Add("Convention collective " + std::to_string(a));
      } else {
        record.Add(random_.Chance(40) ? "" : std::to_string(random_.Between(0, 99)));
      }
    }
    record.Add(random_.Chance(5) ? "O" : "N");                                   // 65
    Write(t::kContrat, key, record.Take());

    contracts_done_ += 1;
    const std::int64_t advances = Share(random_, advances_left_,
                                        options_.contracts - contracts_done_ + 1, 0,
                                        kGeneratedPeriods);
    advances_left_ -= advances;
    // The latest `advances` periods, each with a chance of being skipped when there is room.
    int to_place = static_cast<int>(advances);
    for (int p = 0; p < kGeneratedPeriods && to_place > 0; ++p) {
      const int room = kGeneratedPeriods - p;
      if (room > to_place && random_.Chance(50)) continue;
      --to_place;
      Advance(key, p);
    }
  }

  void Advance(const std::string& contract, int period) {
    const bool past = period < kFirstOpenPeriod;
    const bool computed = period == kFirstOpenPeriod - 1;  // payslips of the last closed period
    const std::int64_t amount = random_.Between(50, 600) * 100;
    const int year = 2026;
    const int month = 7 + period;
    const bool paid = past || random_.Chance(50);
    Write(t::kAcompteBull, contract + kPeriods[period],
          std::to_string(amount) + kAM + (paid ? std::to_string(DayNumber(year, month, 6)) : ""));
    if (computed) {
      Write(t::kDetailCalcul, contract + kPeriods[period],
            std::to_string(amount * 4 + random_.Between(0, 99999)) + kAM +
                std::to_string(DayNumber(year, month, 28)));
    }
  }

  Database& database_;
  GenerateOptions options_;
  Random random_;
  std::map<std::string, std::int64_t> written_;
  std::int64_t persons_cared_for_ = 0;
  std::int64_t contracts_left_ = 0;
  std::int64_t advances_left_ = 0;
  std::int64_t contracts_done_ = 0;
};

}  // namespace

const char* GeneratedPeriod(int index) { return kPeriods.at(static_cast<std::size_t>(index)); }

std::string PersonCode(std::int64_t n) {
  if (n < 0 || n >= kMaxPersons) {
    throw ComponentError(err::kBadData, "pas de code à cinq caractères pour la personne n° " +
                                            std::to_string(n));
  }
  if (n < 100000) {
    std::string digits = std::to_string(n);
    return std::string(5 - digits.size(), '0') + digits;
  }
  const std::int64_t rest = n - 100000;
  std::string digits = std::to_string(rest % 10000);
  return std::string(1, static_cast<char>('A' + rest / 10000)) +
         std::string(4 - digits.size(), '0') + digits;
}

std::map<std::string, std::int64_t> GenerateDatabase(Database& database,
                                                     const GenerateOptions& options) {
  database.Begin();
  try {
    auto written = Generator(database, options).Run();
    database.Commit();
    return written;
  } catch (...) {
    if (database.InTransaction()) database.Rollback();
    throw;
  }
}

}  // namespace varnolde::mvdb
