#pragma once
// The main window's keyboard shortcuts. A shortcut clicks its button only
// while it is visible and enabled, just as the pointer could; the button's
// tooltip shows the keys.
//
// Thread contract: window thread only.

#include <QKeyCombination>
#include <QString>

class QAbstractButton;
class QWidget;

namespace veltrix::ui {

inline constexpr QKeyCombination kRefreshKeys{Qt::Key_F5};
inline constexpr QKeyCombination kLoadKeys = Qt::CTRL | Qt::Key_O;
inline constexpr QKeyCombination kSaveKeys = Qt::CTRL | Qt::Key_S;
// Start and Stop share one place and one shortcut.
inline constexpr QKeyCombination kStartStopKeys = Qt::CTRL | Qt::Key_Return;
inline constexpr QKeyCombination kLivePlotKeys = Qt::CTRL | Qt::Key_L;
inline constexpr QKeyCombination kClearKeys = Qt::CTRL | Qt::Key_K;
inline constexpr QKeyCombination kReconnectKeys = Qt::CTRL | Qt::SHIFT | Qt::Key_R;
inline constexpr QKeyCombination kCompareKeys = Qt::CTRL | Qt::Key_D;
// Writing changes the sensor: two modifiers, never a key pressed by habit.
inline constexpr QKeyCombination kWriteKeys = Qt::CTRL | Qt::SHIFT | Qt::Key_W;
inline constexpr QKeyCombination kReadBurstKeys = Qt::CTRL | Qt::Key_R;
inline constexpr QKeyCombination kFolderKeys = Qt::CTRL | Qt::Key_F;

// "Refresh (F5)".
QString with_shortcut(const QString& tip, QKeyCombination keys);
// The button's tooltip keeps its text and adds the keys.
void give_shortcut(QAbstractButton* button, QKeyCombination keys);
// The shortcuts of `owner` (its buttons' and its own QShortcuts) work in
// `other`, another of the program's windows, while that one is active too,
// but for the keys `other` has shortcuts of its own for. A button's is
// pressed only while it is visible and enabled, as in `owner`.
void share_shortcuts(QWidget* owner, QWidget* other);

}  // namespace veltrix::ui
