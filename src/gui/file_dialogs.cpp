// Dialogs that list files without opening them.
#include "gui/file_dialogs.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace gui {

QIcon NameOnlyIconProvider::icon(IconType type) const {
    return m_Standard.icon(type);
}

QIcon NameOnlyIconProvider::icon(const QFileInfo& info) const {
    if (info.isDir()) {
        return m_Standard.icon(Folder);
    }
    const QMimeType mime = m_Mime.mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    return QIcon::fromTheme(mime.iconName(), m_Standard.icon(File));
}

QString NameOnlyIconProvider::type(const QFileInfo& info) const {
    if (info.isDir()) {
        return QCoreApplication::translate("NameOnlyIconProvider", "Folder");
    }
    const QMimeType mime = m_Mime.mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    return mime.comment().isEmpty() ? mime.name() : mime.comment();
}

FileDialog::FileDialog(QWidget* parent, const QString& caption) : m_Dialog(parent, caption) {
    m_Dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    m_Dialog.setIconProvider(&m_Provider);
}

QString ChooseExistingFile(QWidget* parent, const QString& filter, const QString& directory) {
    FileDialog chooser(parent);
    QFileDialog& dialog = chooser.Dialog();
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(filter);
    if (!directory.isEmpty()) {
        // A file as the start shows its folder with the file chosen.
        QFileInfo start(directory);
        if (start.isDir()) {
            dialog.setDirectory(directory);
        } else {
            dialog.setDirectory(start.absolutePath());
            dialog.selectFile(start.fileName());
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().first();
}

QString ChooseExistingFolder(QWidget* parent, const QString& caption) {
    FileDialog chooser(parent, caption);
    QFileDialog& dialog = chooser.Dialog();
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().first();
}

} // namespace gui
