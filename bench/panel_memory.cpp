// panel_memory DB [CODE]: opens the advances panel on DB like a host (user "gestionnaire",
// headless toolkit), chooses entity 001, types a caregiver's code (default: the first code of
// entity 001's contracts), then prints the peak resident memory of the process as one line
// "peak_rss_mib=<n> rows=<contracts listed>". Exit 1 with a message when the panel cannot open.
#include <sys/resource.h>

#include <iostream>

#include "components/errors.h"
#include "host/panel_session.h"
#include "mvdb/link.h"
#include "panel/layout.h"
#include "toolkit/headless/clerk_driver.h"
#include "toolkit/headless/headless_toolkit.h"

int main(int argc, char** argv) {
  using namespace varnolde;
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: panel_memory DB [CODE]\n";
    return 2;
  }
  try {
    HeadlessToolkit toolkit;
    auto session = host::PanelSession::Open(toolkit, argv[1],
                                            host::SessionSettings{"gestionnaire", "fr_FR"});
    ClerkDriver clerk(toolkit);
    clerk.Type(panel::txt_Entite, "001");
    toolkit.QueueAnswer(kAnswerNo);  // in case the caregiver has no contract this month
    clerk.Type(panel::txt_CodeAidant, argc == 3 ? argv[2] : "00001");
    const int rows = toolkit.ListCount(panel::Lst_CodeContrat);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::cout << "peak_rss_mib=" << static_cast<double>(usage.ru_maxrss) / 1024.0
              << " rows=" << rows << '\n';
  } catch (const std::exception& e) {
    std::cerr << "panel_memory: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
