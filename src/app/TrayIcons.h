#pragma once
// The drawn icons of the notification area and its popup menu: the window's
// own icon, the eight frames of the recording animation (a light sector
// turning round a red recording dot, 45 degrees a frame) and the small
// images of the menu items. Each icon carries a 32x32 and a 16x16 image.
//
// Threads: main thread (QPixmap needs the GUI thread).

#include <QIcon>

namespace zt {

// The window's icon: a dark round badge with a red recording dot.
QIcon MainIcon();

// Frame n (1..8) of the recording animation: the badge with its light sector
// at n x 45 degrees. Out-of-range numbers wrap into 1..8.
inline constexpr int kTrayFrameCount = 8;
QIcon FrameIcon(int n);

// Recording is wanted but nothing is recorded: the badge with an amber
// warning sign in place of the recording dot.
QIcon AlarmIcon();

// Images of the popup menu's items.
enum class MenuImage { Record, Stop, Restore, Hide, Close };
QIcon MenuIcon(MenuImage which);

}  // namespace zt
