#include "toolkit/headless/render_panel.h"

#include <algorithm>
#include <vector>

#include "components/utf8.h"

namespace varnolde {
namespace {

// Controls whose tops lie closer than this (in twips) share a line.
constexpr int kRowBand = 150;

class Renderer {
 public:
  explicit Renderer(const DrivableToolkit& driven) : driven_(driven), toolkit_(driven.Screen()) {}

  std::string Render() {
    out_ = "Panneau";
    if (!toolkit_.PanelEnabled()) out_ += " [désactivé]";
    if (toolkit_.BusyPointer()) out_ += " [pointeur occupé]";
    if (driven_.HostClosed()) out_ += " [fenêtre fermée]";
    out_ += '\n';
    Container(kNoControl, "");
    return std::move(out_);
  }

 private:
  const ControlSpec& Definition(ControlId id) const {
    return driven_.Layout().controls[static_cast<std::size_t>(id)];
  }

  std::string Marks(ControlId id) const {
    std::string marks;
    if (!toolkit_.Visible(id)) marks += " [masqué]";
    if (!toolkit_.Enabled(id)) marks += " [désactivé]";
    if (toolkit_.Focused() == id) marks += " [focus]";
    return marks;
  }

  std::string Items(ControlId id) const {
    const int count = toolkit_.ListCount(id);
    if (count == 0) return {};
    std::string items = " (";
    for (int i = 0; i < count; ++i) {
      if (i > 0) items += " | ";
      if (i == toolkit_.ListIndex(id)) items += '>';
      items += std::to_string(i) + ":" + toolkit_.ItemText(id, i);
    }
    return items + ")";
  }

  // One control that is neither a list box nor a frame, as it stands on its line.
  std::string Inline(ControlId id) const {
    const ControlSpec& definition = Definition(id);
    const std::string name(definition.name);
    switch (definition.kind) {
      case ControlKind::kLabel:
        return toolkit_.Text(id) + Marks(id);
      case ControlKind::kTextBox:
        return name + "[" + toolkit_.Text(id) + "]" + Marks(id);
      case ControlKind::kComboList:
      case ControlKind::kComboEdit:
        return name + "[" + toolkit_.Text(id) + "]" + Items(id) + Marks(id);
      case ControlKind::kButton:
        return name + "<" + toolkit_.Text(id) + ">" + Marks(id);
      case ControlKind::kVScrollBar:
        return name + "{valeur " + std::to_string(toolkit_.ScrollValue(id)) + " / max " +
               std::to_string(toolkit_.ScrollMax(id)) + "}" +
               (toolkit_.ScrollUsable(id) ? "" : " [inutilisable]") + Marks(id);
      default:
        return name + Marks(id);
    }
  }

  void Container(ControlId container, const std::string& indent) {
    std::vector<ControlId> children;
    const auto count = static_cast<ControlId>(driven_.Layout().controls.size());
    for (ControlId id = 0; id < count; ++id) {
      if (Definition(id).container == container) children.push_back(id);
    }
    std::stable_sort(children.begin(), children.end(), [this](ControlId a, ControlId b) {
      return Definition(a).top < Definition(b).top;
    });
    for (std::size_t begin = 0; begin < children.size();) {
      std::size_t end = begin + 1;
      while (end < children.size() &&
             Definition(children[end]).top - Definition(children[begin]).top < kRowBand) {
        ++end;
      }
      std::vector<ControlId> row(children.begin() + static_cast<std::ptrdiff_t>(begin),
                                 children.begin() + static_cast<std::ptrdiff_t>(end));
      std::stable_sort(row.begin(), row.end(), [this](ControlId a, ControlId b) {
        return Definition(a).left < Definition(b).left;
      });
      Row(row, indent);
      begin = end;
    }
  }

  void Row(const std::vector<ControlId>& row, const std::string& indent) {
    std::string line;
    std::vector<ControlId> lists;
    std::vector<ControlId> frames;
    for (ControlId id : row) {
      switch (Definition(id).kind) {
        case ControlKind::kListBox: lists.push_back(id); break;
        case ControlKind::kFrame: frames.push_back(id); break;
        default:
          if (!line.empty()) line += "  ";
          line += Inline(id);
      }
    }
    if (!line.empty()) out_ += indent + line + "\n";
    if (!lists.empty()) Table(lists, indent);
    for (ControlId frame : frames) {
      out_ += indent + "+- " + toolkit_.Text(frame) + " (" + std::string(Definition(frame).name) +
              ")" + Marks(frame) + "\n";
      Container(frame, indent + "|  ");
      out_ += indent + "+-\n";
    }
  }

  // List boxes side by side: one column each, one line per row.
  void Table(const std::vector<ControlId>& lists, const std::string& indent) {
    std::vector<std::vector<std::string>> columns;
    int rows = 0;
    for (ControlId list : lists) {
      std::vector<std::string> cells{std::string(Definition(list).name) + Marks(list)};
      const int count = toolkit_.ListCount(list);
      const int current = toolkit_.ListIndex(list);
      for (int i = 0; i < count; ++i) {
        cells.push_back((i == current ? ">" : " ") + toolkit_.ItemText(list, i));
      }
      rows = std::max(rows, count);
      columns.push_back(std::move(cells));
    }
    std::vector<std::string> numbers{"ligne"};
    for (int i = 0; i < rows; ++i) numbers.push_back(std::to_string(i));
    columns.insert(columns.begin(), std::move(numbers));

    std::vector<int> widths;
    for (const auto& cells : columns) {
      int width = 0;
      for (const auto& cell : cells) width = std::max(width, static_cast<int>(utf8::Length(cell)));
      widths.push_back(width);
    }
    for (int line = 0; line <= rows; ++line) {
      std::string text = indent;
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const auto& cells = columns[c];
        const std::string cell =
            static_cast<std::size_t>(line) < cells.size() ? cells[static_cast<std::size_t>(line)]
                                                          : std::string();
        if (c > 0) text += " | ";
        const int pad = widths[c] - static_cast<int>(utf8::Length(cell));
        // Row numbers stand right-aligned, texts left-aligned.
        if (c == 0 && line > 0) text += std::string(static_cast<std::size_t>(pad), ' ') + cell;
        else text += cell + std::string(static_cast<std::size_t>(pad), ' ');
      }
      while (!text.empty() && text.back() == ' ') text.pop_back();
      out_ += text + "\n";
    }
    if (rows == 0) out_ += indent + "(listes vides)\n";
  }

  const DrivableToolkit& driven_;
  const Toolkit& toolkit_;
  std::string out_;
};

}  // namespace

std::string RenderPanel(const DrivableToolkit& toolkit) {
  if (!toolkit.Attached()) throw std::logic_error("RenderPanel on a toolkit with no panel");
  return Renderer(toolkit).Render();
}

}  // namespace varnolde
