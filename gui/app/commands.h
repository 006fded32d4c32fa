#pragma once

namespace kivo::cmd {

// The ids of the commands: each is the objectName of its QAction, found with
// CMainFrame::ActionById(). "<group>.<name>", lower case, words joined by "-".
inline constexpr char kFileNew[] = "file.new";
inline constexpr char kFileNewFrame[] = "file.new-frame";
inline constexpr char kFileOpen[] = "file.open";
inline constexpr char kFileSave[] = "file.save";
inline constexpr char kFileSaveAs[] = "file.save-as";
inline constexpr char kFilePrint[] = "file.print";
inline constexpr char kFileQuickPrint[] = "file.quick-print";
inline constexpr char kFilePrintPreview[] = "file.print-preview";
inline constexpr char kFilePrintSetup[] = "file.print-setup";
inline constexpr char kFilePrintPinReport[] = "file.print-pin-report";
inline constexpr char kFileClose[] = "file.close";
inline constexpr char kFileCloseWindow[] = "file.close-window";
inline constexpr char kFileExit[] = "file.exit";

inline constexpr char kProjectGenerate[] = "project.generate";
inline constexpr char kProjectCompile[] = "project.compile";
inline constexpr char kProjectLoad[] = "project.load";
inline constexpr char kProjectFlexProp[] = "project.flexprop";
// The compiled program on the simulated board, in the project window's tab.
inline constexpr char kProjectSimulate[] = "project.simulate";
// Verify on the simulated board: each object's verdict in the object list.
inline constexpr char kProjectVerify[] = "project.verify";
// Compile and Load in a terminal window of their own instead of the panes.
inline constexpr char kProjectExternalTerminal[] = "project.external-terminal";

inline constexpr char kEditUndo[] = "edit.undo";
inline constexpr char kEditRedo[] = "edit.redo";
inline constexpr char kEditCut[] = "edit.cut";
inline constexpr char kEditCopy[] = "edit.copy";
inline constexpr char kEditPaste[] = "edit.paste";
inline constexpr char kEditSelectAll[] = "edit.select-all";
inline constexpr char kEditInsertObject[] = "edit.insert-object";
inline constexpr char kEditFind[] = "edit.find";
inline constexpr char kEditFindNext[] = "edit.find-next";
inline constexpr char kEditReplace[] = "edit.replace";

inline constexpr char kViewStatusBar[] = "view.status-bar";
inline constexpr char kViewCaptionBar[] = "view.caption-bar";
inline constexpr char kViewBuildPane[] = "view.build-pane";
inline constexpr char kViewTerminalPane[] = "view.terminal-pane";
// The Style menu's looks are "view.look.<name>" (LookCommand()).

inline constexpr char kWindowManage[] = "window.manage";
inline constexpr char kWindowNew[] = "window.new";
inline constexpr char kWindowNextPane[] = "window.next-pane";
inline constexpr char kWindowPreviousPane[] = "window.previous-pane";

inline constexpr char kHelpAbout[] = "help.about";

// The object list's commands, one set per project window; ActionById()
// gives the active window's.
inline constexpr char kObjectAdd[] = "object.add";
inline constexpr char kObjectEdit[] = "object.edit";
inline constexpr char kObjectDelete[] = "object.delete";
inline constexpr char kObjectDuplicate[] = "object.duplicate";

} // namespace kivo::cmd
