// Building: the panel widget and its controls, from the declarative layout table.
#include <QFontMetrics>
#include <QLayout>
#include <algorithm>

#include "toolkit/qt/qt_rep.h"

namespace varnolde {
namespace {

// Twips are 1/1440 inch; the screen's logical resolution gives pixels (96 dpi: 15 twips a
// pixel).
int Pixels(int twips, int dots_per_inch) { return (twips * dots_per_inch + 720) / 1440; }

bool TakesFocus(ControlKind kind) {
  return kind != ControlKind::kLabel && kind != ControlKind::kFrame;
}

QString ToQ(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void QtToolkit::Attach(const PanelLayout& layout, PanelReactions& reactions) {
  Rep& r = *rep_;
  if (r.reactions_ != nullptr || r.panel_) {
    throw ComponentError(err::kInvalidCall,
                         "Appel de procédure ou argument incorrect (panneau déjà construit)");
  }
  // Check the table before building anything, so that a bad one leaves no half-built panel.
  for (std::size_t row = 0; row < layout.controls.size(); ++row) {
    const ControlId container = layout.controls[row].container;
    if (container != kNoControl &&
        (container < 0 || static_cast<std::size_t>(container) >= row ||
         layout.controls[static_cast<std::size_t>(container)].kind != ControlKind::kFrame)) {
      throw ComponentError(err::kInvalidCall,
                           "Appel de procédure ou argument incorrect (conteneur de " +
                               std::string(layout.controls[row].name) + ")");
    }
  }

  auto panel = std::make_unique<QWidget>(r.parent_);
  panel->setObjectName(QStringLiteral("ctr_consultationacompte"));
  const int dpi_x = panel->logicalDpiX();
  const int dpi_y = panel->logicalDpiY();
  panel->setFixedSize(Pixels(layout.width, dpi_x), Pixels(layout.height, dpi_y));

  QFont fixed_font(ToQ(layout.fixed_font_family));
  fixed_font.setPointSizeF(layout.fixed_font_points);
  fixed_font.setStyleHint(QFont::TypeWriter);
  fixed_font.setFixedPitch(true);

  r.panel_ = panel.get();
  r.controls_.assign(layout.controls.size(), Rep::Control{});
  for (std::size_t row = 0; row < layout.controls.size(); ++row) {
    const ControlSpec& definition = layout.controls[row];
    const auto id = static_cast<ControlId>(row);
    QWidget* container = definition.container == kNoControl
                             ? r.panel_.data()
                             : r.At(definition.container).widget.data();
    QWidget* widget = r.MakeWidget(id, definition, container, fixed_font);
    widget->setObjectName(ToQ(definition.name));
    int width = Pixels(definition.width, dpi_x);
    if (definition.kind == ControlKind::kLabel) {
      // A caption is never cut: in a host font wider than the design's, a label grows to the
      // right over the free space the layout leaves after it.
      width = std::max(width, widget->sizeHint().width());
    }
    widget->setGeometry(Pixels(definition.left, dpi_x), Pixels(definition.top, dpi_y), width,
                        Pixels(definition.height, dpi_y));
    if (!definition.visible) widget->hide();
    Rep::Control& entry = r.controls_[row];
    entry.definition = &definition;
    entry.widget = widget;
    entry.visible = definition.visible;
    r.control_of_widget_.insert(widget, id);
  }
  r.SetTabOrder();
  if (r.parent_ && r.parent_->layout()) r.parent_->layout()->addWidget(r.panel_);
  panel.release();  // owned by the parent (when there is one) and deleted by ~QtToolkit
  r.reactions_ = &reactions;
}

QWidget* QtToolkit::Rep::MakeWidget(ControlId id, const ControlSpec& definition,
                                    QWidget* container, const QFont& fixed_font) {
  QWidget* widget = nullptr;
  switch (definition.kind) {
    case ControlKind::kLabel: {
      auto* label = new qt::Label(id, *this, ToQ(definition.caption), container);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      widget = label;
      break;
    }
    case ControlKind::kTextBox:
      widget = new qt::LineBox(id, *this, definition.max_length, container);
      break;
    case ControlKind::kComboList:
    case ControlKind::kComboEdit:
      widget = new qt::ComboBox(id, *this, definition.kind == ControlKind::kComboEdit, container);
      break;
    case ControlKind::kListBox: {
      const QFont& font = definition.fixed_pitch ? fixed_font : container->font();
      widget = new qt::ListBox(id, *this, QFontMetrics(font).height() + 2, container);
      break;
    }
    case ControlKind::kButton:
      widget = new qt::Button(id, *this, ToQ(definition.caption), container);
      break;
    case ControlKind::kFrame:
      widget = new qt::Frame(id, *this, ToQ(definition.caption), container);
      break;
    case ControlKind::kVScrollBar:
      widget = new qt::ScrollBar(id, *this, container);
      break;
  }
  if (definition.fixed_pitch) widget->setFont(fixed_font);
  return widget;
}

void QtToolkit::Rep::SetTabOrder() {
  std::vector<ControlId> order;
  for (ControlId id = 0; id < static_cast<ControlId>(controls_.size()); ++id) {
    if (TakesFocus(KindOf(id))) order.push_back(id);
  }
  std::stable_sort(order.begin(), order.end(), [this](ControlId a, ControlId b) {
    return At(a).definition->tab_index < At(b).definition->tab_index;
  });
  for (std::size_t k = 1; k < order.size(); ++k) {
    QWidget::setTabOrder(At(order[k - 1]).widget, At(order[k]).widget);
  }
}

}  // namespace varnolde
