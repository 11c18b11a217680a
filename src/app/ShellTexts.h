#pragma once
// The texts the shell shows the user at start-up and when its web host cannot start.
// Every box carries the program's caption, which the backend supplies.
#include "common/text.h"

inline constexpr const WChar* kTextStartFailed = DESK_W("小屋未能启动，请重新安装后再试。");
inline constexpr const WChar* kTextBadOrigin = DESK_W("Tamsel地址无效：请使用 HTTPS 网站地址，本机测试可用 HTTP。");
inline constexpr const WChar* kTextLoaderMissing = DESK_W("程序文件不完整，请重新安装桌面小屋。");
inline constexpr const WChar* kTextNoRuntime =
    DESK_W("这台电脑还缺少微软网页运行组件。安装后即可使用小屋。\n\n要打开微软官方下载页面吗？");
inline constexpr const WChar* kTextEnvironmentRefused = DESK_W("无法启动小屋，请确认运行组件已安装。");
inline constexpr const WChar* kTextEnvironmentFailed = DESK_W("无法启动微软网页运行组件，请重启小屋或修复该组件。");
inline constexpr const WChar* kTextControllerRefused = DESK_W("小屋窗口创建失败。");
inline constexpr const WChar* kTextControllerFailed = DESK_W("无法创建小屋窗口，请重启后再试。");
inline constexpr const WChar* kTextRuntimeTooOld = DESK_W("微软运行组件版本过旧，请更新 WebView2 后重试。");
inline constexpr const WChar* kTextScriptFailed = DESK_W("小屋页面初始化失败，请重新打开。");
