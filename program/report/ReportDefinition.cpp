// Report definitions: element look-up and the element factories.
#include "ReportDefinition.h"

namespace {

TppElement* findIn(const std::vector<std::unique_ptr<TppElement>>& elements, const QString& name) {
  for (const auto& e : elements) {
    if (e->name == name) return e.get();
    if (TppElement* child = findIn(e->children, name)) return child;
  }
  return nullptr;
}

std::unique_ptr<TppElement> make(TppElementKind kind, const QString& name, double left, double top, double width,
                                 double height) {
  auto e = std::make_unique<TppElement>(kind, name);
  e->left = left;
  e->top = top;
  e->width = width;
  e->height = height;
  return e;
}

}  // namespace

TppElement& TppElement::add(std::unique_ptr<TppElement> element) {
  children.push_back(std::move(element));
  return *children.back();
}

TppElement& TppBand::add(std::unique_ptr<TppElement> element) {
  elements.push_back(std::move(element));
  return *elements.back();
}

TppElement* TppBand::find(const QString& elementName) const { return findIn(elements, elementName); }

TppElement* TppReport::find(const QString& elementName) const {
  for (const TppBand* band : {&title, &pageHeader, &group.header, &detail, &group.footer, &pageFooter})
    if (TppElement* e = band->find(elementName)) return e;
  return nullptr;
}

std::unique_ptr<TppElement> ppLabel(const QString& name, const QString& caption, double left, double top, double width,
                                    double height, const TppFont& font, TppAlignment alignment) {
  auto e = make(TppElementKind::Label, name, left, top, width, height);
  e->caption = caption;
  e->font = font;
  e->alignment = alignment;
  return e;
}

// A data-bound element of either kind.
static std::unique_ptr<TppElement> fieldElement(TppElementKind kind, const QString& name, const QString& field, double left,
                                         double top, double width, double height, const TppFont& font) {
  auto e = make(kind, name, left, top, width, height);
  e->dataField = field;
  e->font = font;
  e->stretch = kind == TppElementKind::DBMemo;
  return e;
}

std::unique_ptr<TppElement> ppDBText(const QString& name, const QString& field, double left, double top, double width,
                                     double height, const TppFont& font) {
  return fieldElement(TppElementKind::DBText, name, field, left, top, width, height, font);
}

std::unique_ptr<TppElement> ppDBMemo(const QString& name, const QString& field, double left, double top, double width,
                                     double height, const TppFont& font) {
  return fieldElement(TppElementKind::DBMemo, name, field, left, top, width, height, font);
}

std::unique_ptr<TppElement> ppRegion(const QString& name, double left, double top, double width, double height) {
  return make(TppElementKind::Region, name, left, top, width, height);
}

std::unique_ptr<TppElement> ppLine(const QString& name, double left, double top, double width, double weight) {
  auto e = make(TppElementKind::Line, name, left, top, width, weight * 25.4 / 72.0);
  e->weight = weight;
  return e;
}
