#pragma once
// The main window's keyboard shortcuts. A shortcut clicks its button only
// while it is visible and enabled, just as the pointer could; the button's
// tooltip shows the keys.
//
// Thread contract: window thread only.

#include <QKeyCombination>
#include <QString>

class QAbstractButton;

namespace veltrix::ui {

inline constexpr QKeyCombination kRefreshKeys{Qt::Key_F5};
inline constexpr QKeyCombination kLoadKeys = Qt::CTRL | Qt::Key_O;
inline constexpr QKeyCombination kSaveKeys = Qt::CTRL | Qt::Key_S;
// Start and Stop share one place and one shortcut.
inline constexpr QKeyCombination kStartStopKeys = Qt::CTRL | Qt::Key_Return;
inline constexpr QKeyCombination kLivePlotKeys = Qt::CTRL | Qt::Key_L;
inline constexpr QKeyCombination kClearKeys = Qt::CTRL | Qt::Key_K;
inline constexpr QKeyCombination kReconnectKeys = Qt::CTRL | Qt::SHIFT | Qt::Key_R;

// "Refresh (F5)".
QString with_shortcut(const QString& tip, QKeyCombination keys);
// The button's tooltip keeps its text and adds the keys.
void give_shortcut(QAbstractButton* button, QKeyCombination keys);

}  // namespace veltrix::ui
