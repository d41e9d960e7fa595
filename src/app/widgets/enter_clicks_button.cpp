#include "app/widgets/enter_clicks_button.h"

#include <QKeyEvent>
#include <QPushButton>

namespace tw {

bool EnterClicksButton::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
  if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
  auto* button = qobject_cast<QPushButton*>(watched);
  if (!button || !button->hasFocus() || !button->isEnabled()) return false;
  if (!key->isAutoRepeat()) button->click();
  return true;
}

}  // namespace tw
