#include "shared/moduleproc.h"

#include "components/tables.h"
#include "shared/modulevar.h"

namespace varnolde::ModuleProc {
namespace {

// Length in code points, and the byte offset of the first n code points, of UTF-8 text.
size_t CodePoints(std::string_view text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

size_t PrefixBytes(std::string_view text, size_t code_points) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (seen == code_points) return i;
      ++seen;
    }
  }
  return text.size();
}

std::string_view FirstCharacter(std::string_view text) {
  return text.substr(0, PrefixBytes(text, 1));
}

}  // namespace

void OpenTables() {
  using namespace Modulevar;
  Ref<DbFile>* handles[] = {&TabAssociation, &TabPeriodesPaie, &TabContrat, &TabCivilAidant,
                            &TabAcompteBull, &TabCivilAide, &TabDetailCalcul};
  for (size_t i = 0; i < tables::kPanelTables.size(); ++i) {
    *handles[i] = theDataBase->OpenFile(tables::kPanelTables[i]);
  }
}

void CloseTables() {
  using namespace Modulevar;
  for (Ref<DbRecord>* buffer : {&RecAssociation, &RecCivilAidant, &RecContrat, &RecPeriodesPaie,
                                &RecCivilAide, &RecAcompteBull, &RecDetailCalcul}) {
    buffer->Release();
  }
  for (Ref<DbFile>* handle : {&TabAssociation, &TabCivilAidant, &TabContrat, &TabPeriodesPaie,
                              &TabCivilAide, &TabAcompteBull, &TabDetailCalcul}) {
    handle->Release();
  }
  theDataBase.Release();
}

std::string PadField(std::string_view text, int width, std::string_view fill, int leftAlign) {
  const size_t n = CodePoints(text);
  const size_t w = width < 0 ? 0 : static_cast<size_t>(width);
  if (n > w) return std::string(text.substr(0, PrefixBytes(text, w)));
  std::string padding;
  const std::string_view pad = FirstCharacter(fill);
  for (size_t i = n; i < w; ++i) padding += pad;
  return leftAlign == -1 ? std::string(text) + padding : padding + std::string(text);
}

void PositionList(Toolkit& toolkit, ControlId bar, ControlId list, int visibleRows) {
  toolkit.SetScrollMax(bar, toolkit.ListCount(list) - 1);
  toolkit.SetScrollUsable(bar, toolkit.ListCount(list) > visibleRows);
  toolkit.SetScrollValue(bar, 0);
}

}  // namespace varnolde::ModuleProc
