#pragma once

namespace kivo {

// Command ids of the main frame. The numbers are the ones the ribbon and the
// window list have always used, so that a profile or a test can name them.
enum CommandId : int {
    ID_WINDOW_MANAGER = 131,
    ID_VIEW_APPLOOK_WIN_2000 = 205,
    ID_VIEW_APPLOOK_OFF_XP = 206,
    ID_VIEW_APPLOOK_WIN_XP = 207,
    ID_VIEW_APPLOOK_OFF_2003 = 208,
    ID_VIEW_APPLOOK_VS_2005 = 209,
    ID_VIEW_APPLOOK_VS_2008 = 210,
    ID_VIEW_APPLOOK_OFF_2007_BLUE = 215,
    ID_VIEW_APPLOOK_OFF_2007_BLACK = 216,
    ID_VIEW_APPLOOK_OFF_2007_SILVER = 217,
    ID_VIEW_APPLOOK_OFF_2007_AQUA = 218,
    ID_VIEW_APPLOOK_WINDOWS_7 = 219,
    ID_VIEW_CAPTION_BAR = 221,
    ID_ButtonFlexProp = 32771,
    ID_ButtonCompile = 32772,
    ID_ButtonGenerate = 32773,
    ID_LoadP2 = 32774,
    ID_FILE_CLOSE_WINDOW = 32775,  // closes the active project window (Ctrl+W)
    ID_PRINT_PIN_REPORT = 32776,   // prints the pin report from any tab (Ctrl+P)
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_CLOSE = 57602,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_DIRECT = 57608,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_FILE_NEW_FRAME = 57613,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_FIND = 57636,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_REPEAT = 57640,
    ID_EDIT_REPLACE = 57641,
    ID_EDIT_SELECT_ALL = 57642,
    ID_EDIT_UNDO = 57643,
    ID_EDIT_REDO = 57644,
    ID_WINDOW_NEW = 57648,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
    ID_OLE_INSERT_NEW = 57856,
    ID_VIEW_STATUS_BAR = 59393,
};

} // namespace kivo
