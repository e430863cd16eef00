#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace kestrane {

class DialogFrontEnd;
class FrontEnd;

// File and folder choosers. The dialogs ask their front end (DialogFrontEnd::choose_path): the
// program shows a QFileDialog, tests answer from a script.
enum class ChooserKind {
    OpenFile, // an existing file
    SaveFile, // a file that need not exist yet
    Folder,   // an existing folder
};

struct ChooserRequest {
    ChooserKind kind = ChooserKind::OpenFile;
    QWidget* parent = nullptr;
    QString title;
    // The starting point: a file (its folder is opened and its name proposed) or a folder.
    QString initial_path;
    // Pairs of name and pattern, each followed by "|": "Wrp file(*.wrp)|*.wrp|All files|*.*|".
    // An empty name ends the list ("Dest File(*.wrp)|*.wrp||").
    QString filter;
    // Appended to a typed file name that has no suffix (without the dot); empty for none.
    QString default_suffix;
};

// The dialogs' file filter for wrapped, package and company key files.
inline const QString kWrpFileFilter = QStringLiteral("Wrp file(*.wrp)|*.wrp|All files|*.*|");

// A request titled "Select file".
ChooserRequest select_file_request(ChooserKind kind, QWidget* parent, const QString& initial, const QString& filter);

// Asks for a company key file starting from `current`: nothing when cancelled, or (after "Not
// company key file") when the chosen file is not one.
std::optional<QString> choose_company_key_file(DialogFrontEnd& front, QWidget* parent, const QString& current);

// "\"%s\" 폴더 경로는 잘못되었습니다.": a path given for a folder is not one.
void show_not_a_folder(FrontEnd& front, const QString& path);

// The QFileDialog chooser itself: the chosen full path, or nothing when the user cancelled. A
// folder chooser refuses a typed path that is not a folder through `front`.
std::optional<QString> choose_with_file_dialog(FrontEnd& front, const ChooserRequest& request);

// "Wrp file(*.wrp)|*.wrp|All files|*.*|" as Qt's filter list: "Wrp file(*.wrp)" (a name that ends
// with its patterns in parentheses is kept as it is) and "All files (*)". Several patterns of one
// entry ("*.a;*.b") become "*.a *.b"; "*.*" means every file, with or without a dot.
QStringList to_qt_name_filters(const QString& filter);

} // namespace kestrane
