#pragma once

#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <string>
#include <string_view>
#include <vector>

namespace brevadin {

// The log list: file names and sizes, several selected at once, dragged out
// to other programs as a list of files (copy only).
class LogListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit LogListView(QWidget* parent = nullptr);
    // The folder whose files are listed; drags carry folder + "/" + name.
    void setFolder(const QString& folder) { folder_ = folder; }
    const QString& folder() const { return folder_; }
    // The selected names in list order.
    QStringList selectedNames() const;
    // The selected files' names as the folder holds them, byte for byte: a
    // name that is not UTF-8 (copied from Windows in its code page) shows
    // with escapes but still opens.
    std::vector<std::string> selectedFileNames() const;
    // Adds a row for the file named by these bytes.
    void addFile(const std::string& name, const QString& size);
    // The name as the list shows it: UTF-8 decoded, any other byte as \xNN.
    static QString visibleName(std::string_view bytes);

Q_SIGNALS:
    // Enter on the list: load what is selected.
    void enterPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
    void startDrag(Qt::DropActions supportedActions) override;

private:
    QString folder_;
};

}  // namespace brevadin
