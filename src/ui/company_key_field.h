#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace kestrane {

class DialogFrontEnd;

// The company-key field of the main dialog and the encrypt-file dialog: the company key file's
// path, the company name read from it, and the chooser behind its button. The dialog owns both
// strings and its data exchange; the field works on them through `updateData`, and shows its
// messages and chooser through the dialog's front end.
class CompanyKeyField {
public:
    CompanyKeyField(DialogFrontEnd& front, QString& keyFile, QString& companyName,
                    std::function<void(bool save)> updateData);

    // The company key file stored in the settings, else `fallbackName` in the program directory,
    // and its company name.
    void LoadStored(const char* fallbackName);
    // The company name of the current key file. When the file is not a company key file the name
    // is emptied, "Could not load vid from vid.wrp" is shown and the answer is false.
    bool LoadCompanyName();
    // Lets the user choose another company key file. True when one was chosen and loaded (it is
    // then stored in the settings): the dialog proposes its destination anew for the new company.
    bool Browse(QWidget* chooserParent);
    // The user typed into the field (a change of the dialog's own does not count).
    void NoteTyped() { m_typed = true; }
    // When the user left the field after typing into it: the typed path is loaded as after Browse
    // (its company name, then the setting). True when it was loaded.
    bool LoadTyped();

private:
    // Stores the current key file in the settings once loaded.
    bool LoadAndStore();

    DialogFrontEnd& m_front;
    QString& m_keyFile;
    QString& m_companyName;
    std::function<void(bool)> m_updateData;
    bool m_typed = false;
};

} // namespace kestrane
