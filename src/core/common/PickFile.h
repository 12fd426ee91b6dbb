// Picking an existing file through the open-file dialog that a window keeps.
#pragma once

#include <QString>
#include <functional>

// The settings of a window's open-file dialog. They persist from one use to the next for as long as the window
// that holds them lives.
struct FileDialogState
{
    QString InitDir;
    int Flags = 0;
    bool CancelError = false;
    QString Filter; // "description|pattern;pattern"
    QString FileName;
};

// Shows the dialog for the state and stores the chosen path in FileName; false when the operator cancelled.
using ShowOpen = std::function<bool(FileDialogState& dialog)>;
using Report = std::function<void(const QString& text)>;

// Returns the full path of an existing ordinary file the operator picked, or the empty text after telling the
// operator why not. Every failure of the dialog, a cancel included, ends in "请指定一个文件".
QString PickFile(const QString& kind, const QString& startFolder, FileDialogState& dialog, const ShowOpen& showOpen,
                 const Report& report);

// The dialog flag that hides the read-only check box.
inline constexpr int kHideReadOnly = 4;
