// File and folder dialogs that never read the files they list. SQLite's locks on the store are
// POSIX record locks, which any close() of the store's files in this process drops; Qt's own
// icon provider opens files to guess their type, so every dialog here types files by name only.
#pragma once

#include <QFileDialog>
#include <QFileIconProvider>
#include <QMimeDatabase>

namespace gui {

// Icons and type names from the file name alone.
class NameOnlyIconProvider : public QAbstractFileIconProvider {
public:
    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;

private:
    QFileIconProvider m_Standard; // standard icons by kind, without file access
    QMimeDatabase m_Mime;
};

// A non-native file dialog with a name-only icon provider that outlives it. The provider is
// installed before the dialog is pointed at any folder of the caller's.
class FileDialog {
public:
    explicit FileDialog(QWidget* parent, const QString& caption = QString());
    QFileDialog& Dialog() { return m_Dialog; }

private:
    NameOnlyIconProvider m_Provider; // declared first: destroyed after the dialog
    QFileDialog m_Dialog;
};

// An existing file chosen in a modal dialog; empty when cancelled. `filter` in Qt's form
// ("Video Files (*.avi *.avs)"); `directory` the starting folder or a file in it (empty: the
// last one used).
QString ChooseExistingFile(QWidget* parent, const QString& filter,
                           const QString& directory = QString());
// An existing folder chosen in a modal dialog; empty when cancelled.
QString ChooseExistingFolder(QWidget* parent, const QString& caption);

} // namespace gui
