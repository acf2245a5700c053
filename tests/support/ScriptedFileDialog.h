#pragma once

#include "components/FileDialogComponent.h"

#include <optional>

// A file dialog that answers as the test says and remembers how it was asked:
// the one seam where a modal dialog stands in for the user.
class ScriptedFileDialog : public FileDialogComponent
{
public:
    std::optional<QString> answer; // nullopt = the user cancels
    QString presetName;
    QString shownFilter;
    int shownFlags = -1;
    int shownFilterIndex = -1;
    int opens = 0;

    bool ShowOpen() override
    {
        ++opens;
        presetName = FileName();
        shownFilter = Filter();
        shownFlags = Flags();
        shownFilterIndex = FilterIndex();
        if (!answer)
            return false;
        setFileName(*answer);
        return true;
    }
    bool ShowSave() override { return false; }
};
