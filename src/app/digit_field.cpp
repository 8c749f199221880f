#include "app/digit_field.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace j3 {
namespace {

// Character codes of the keys the filter passes besides the digits.
constexpr int kBackspace = 8;
constexpr int kLeftArrow = 28;
constexpr int kRightArrow = 29;
constexpr int kUpArrow = 30;
constexpr int kDownArrow = 31;

int key_character(const QKeyEvent& e) {
    switch (e.key()) {
        case Qt::Key_Backspace:
            return kBackspace;
        case Qt::Key_Left:
            return kLeftArrow;
        case Qt::Key_Right:
            return kRightArrow;
        case Qt::Key_Up:
            return kUpArrow;
        case Qt::Key_Down:
            return kDownArrow;
    }
    const QString text = e.text();
    return text.size() == 1 ? text.at(0).unicode() : -1;
}

class DigitKeyFilter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        const auto& key = static_cast<const QKeyEvent&>(*event);
        // Shortcuts (copy, select all, Return to end editing, Tab, Delete)
        // are not characters and go on as usual.
        if (key.text().isEmpty() || key.modifiers() & (Qt::ControlModifier | Qt::MetaModifier) ||
            key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter || key.key() == Qt::Key_Tab ||
            key.key() == Qt::Key_Backtab || key.key() == Qt::Key_Delete ||
            key.key() == Qt::Key_Escape) {
            return false;
        }
        return !digit_key_filter(key_character(key));
    }
};

}  // namespace

bool digit_key_filter(int character) {
    if (character >= '0' && character <= '9') return true;
    return character == kBackspace || (character >= kLeftArrow && character <= kDownArrow);
}

void make_digit_field(QLineEdit* field) {
    field->installEventFilter(new DigitKeyFilter(field));
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
}

}  // namespace j3
