// Callback signatures and the table that binds callback names, as the panel
// file spells them, to the program's functions.
#pragma once

#include <string>
#include <string_view>

// Event codes delivered to panel and control callbacks.
inline constexpr int EVENT_COMMIT = 1;
inline constexpr int EVENT_RIGHT_CLICK = 5;
inline constexpr int EVENT_CLOSE = 11;
inline constexpr int EVENT_TIMER_TICK = 15;

using PanelCallbackFn = int (*)(int panel, int event, void* callbackData, int eventData1,
                                int eventData2);
using CtrlCallbackFn = int (*)(int panel, int control, int event, void* callbackData,
                               int eventData1, int eventData2);
using MenuCallbackFn = void (*)(int menuBar, int menuItem, void* callbackData, int panel);

// Registration, done once by the program before its panel is loaded.
void RegisterPanelCallback(std::string_view name, PanelCallbackFn fn);
void RegisterCtrlCallback(std::string_view name, CtrlCallbackFn fn);
void RegisterMenuCallback(std::string_view name, MenuCallbackFn fn);

// Look-ups by name; null when the program has no callback of that name and kind.
PanelCallbackFn FindPanelCallback(std::string_view name);
CtrlCallbackFn FindCtrlCallback(std::string_view name);
MenuCallbackFn FindMenuCallback(std::string_view name);
