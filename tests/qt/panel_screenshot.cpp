// varnolde_screenshot: a picture of the panel with a caregiver's advances loaded.
//
//   varnolde_screenshot --data FILE.jsonl --entity CODE --caregiver CODE --out FILE.png
//                       [--user LOGIN] [--locale LOCALE] [--select ROW] [--open ROW]
//                       [--answer yes|no]...
//
// Loads the data into a new database in a temporary directory (the data file itself is only
// read), opens the panel in a window as the varnolde host does, then acts as a clerk with key
// and mouse events: types the entity code, types the caregiver code (answering the questions
// that follow with the --answer values, in order), optionally clicks a row of the lists
// (--select) or double-clicks one to open it for entry (--open), and saves the window as a PNG. Run it under a display (scripts/screenshot.sh uses xvfb-run).
// Exits 1 naming the step that failed; 2 for a command-line error.
#include <QApplication>
#include <QPixmap>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "convert/format_converter.h"
#include "convert/regional.h"
#include "mvdb/jsonl.h"
#include "mvdb/link.h"
#include "panel/ctr_consultationacompte.h"
#include "qt/qt_harness.h"
#include "rights/user_rights.h"

namespace {

namespace fs = std::filesystem;
using namespace varnolde;

struct Options {
  std::string data, entity, caregiver, out;
  std::string user = "gestionnaire";
  std::string locale = "fr_FR";
  int select = -1;
  int open = -1;
  std::vector<int> answers;
};

constexpr const char* kUsage =
    "usage: varnolde_screenshot --data FILE.jsonl --entity CODE --caregiver CODE --out FILE.png\n"
    "                           [--user LOGIN] [--locale LOCALE] [--select ROW] [--open ROW]\n"
    "                           [--answer yes|no]...\n";

bool Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (name == "--data") options.data = value;
    else if (name == "--entity") options.entity = value;
    else if (name == "--caregiver") options.caregiver = value;
    else if (name == "--out") options.out = value;
    else if (name == "--user") options.user = value;
    else if (name == "--locale") options.locale = value;
    else if (name == "--select") options.select = std::atoi(value.c_str());
    else if (name == "--open") options.open = std::atoi(value.c_str());
    else if (name == "--answer" && (value == "yes" || value == "no"))
      options.answers.push_back(value == "yes" ? kAnswerYes : kAnswerNo);
    else return false;
  }
  return !options.data.empty() && !options.entity.empty() && !options.caregiver.empty() &&
         !options.out.empty();
}

// Runs one step; a failure names it.
template <class Step>
void Do(const char* what, Step&& step) {
  try {
    step();
  } catch (const std::exception& failure) {
    throw std::runtime_error(std::string(what) + ": " + failure.what());
  }
}

int Run(const Options& options) {
  const fs::path dir = fs::temp_directory_path() / ("varnolde_screenshot_" + std::to_string(getpid()));
  fs::create_directories(dir);
  struct Cleanup {
    fs::path dir;
    ~Cleanup() {
      std::error_code ignored;
      fs::remove_all(dir, ignored);
    }
  } cleanup{dir};
  const std::string db_path = (dir / "panel.db").string();
  Do("loading the data", [&] {
    std::ifstream lines(options.data);
    if (!lines) throw std::runtime_error("cannot read " + options.data);
    mvdb::LoadJsonLines(db_path, lines);
  });

  qt_test::QtHarness clerk;
  clerk.drivable().Host().setFont(QtToolkit::HostFontForLayout());
  clerk.drivable().Host().setWindowTitle("Consultation des acomptes — " + QString::fromStdString(options.user));
  auto db = mvdb::OpenDatabase(db_path);
  auto regional = MakeRegionalSettings(options.locale);
  ctr_consultationacompte panel(clerk.toolkit(), MakeFormatConverter(regional), regional);
  Do("opening the panel", [&] {
    panel.theDataBase(db);
    panel.Theclient(nullptr);
    panel.DroitsUtilisateur(LoadUserRights(*db, options.user));
    panel.init();
    clerk.drivable().Show();
  });
  for (int answer : options.answers) clerk.QueueAnswer(answer);
  Do("typing the entity code", [&] { clerk.Type(panel::txt_Entite, options.entity); });
  Do("typing the caregiver code", [&] { clerk.Type(panel::txt_CodeAidant, options.caregiver); });
  if (options.select >= 0) {
    Do("clicking the row", [&] { clerk.ClickRow(panel::lst_Liste1, options.select); });
  }
  if (options.open >= 0) {
    Do("opening the row", [&] { clerk.DoubleClickRow(panel::lst_Liste1, options.open); });
  }
  for (const ShownMessage& message : clerk.Messages()) {
    std::cerr << "message: " << message.text << "\n";
  }
  QApplication::processEvents();
  const QPixmap picture = clerk.drivable().Host().grab();
  if (!picture.save(QString::fromStdString(options.out), "PNG")) {
    throw std::runtime_error("cannot write " + options.out);
  }
  std::cout << options.out << ": " << picture.width() << "x" << picture.height() << " at "
            << clerk.drivable().Host().logicalDpiX() << " dpi, " << clerk.toolkit().ListCount(panel::lst_Liste1)
            << " rows\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  Options options;
  if (!Parse(argc, argv, options)) {
    std::cerr << kUsage;
    return 2;
  }
  try {
    return Run(options);
  } catch (const std::exception& failure) {
    std::cerr << "varnolde_screenshot: " << failure.what() << "\n";
    return 1;
  }
}
