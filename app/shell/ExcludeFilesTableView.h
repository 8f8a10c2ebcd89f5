#pragma once

// The exclusion list: the table's model and its add and remove actions over
// the controller's own excludedFiles list (the same list object, so a run
// and a saved job read exactly what the table shows).
//
// What callers may rely on: adding never enters a path twice (exact string
// comparison) and appends new paths in the chooser's order; removing takes
// out exactly the selected rows; after loading a job, setDelegateExcludedFiles()
// makes later edits go to the new list.

#include <QAbstractTableModel>
#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

class FolderChooser;
class QTableView;

class ExcludedFilesModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setList(const QStringList *list);
    void reload();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const QStringList *m_list = nullptr;
};

class ExcludeFilesTableView final : public QObject
{
    Q_OBJECT
public:
    explicit ExcludeFilesTableView(FolderChooser &chooser, QObject *parent = nullptr);

    // Installs the list to edit and reloads the table.
    void setDelegateExcludedFiles(QStringList *list);
    QStringList *delegateExcludedFiles() const { return m_list; }
    void setTableView(QTableView *tableView);
    QTableView *tableView() const { return m_tableView; }
    ExcludedFilesModel *model() { return &m_model; }

    // Where the chooser opens: the job's source.
    void setStartFolder(std::function<QString()> startFolder) { m_startFolder = std::move(startFolder); }
    void addToExcludedFilesClicked();
    void deleteSelectedRow();

    // The list after adding the chosen paths: new ones appended in order.
    static QStringList withAdded(QStringList list, const QStringList &chosen);
    // The list without the given rows (rows out of range are ignored).
    static QStringList withoutRows(QStringList list, QList<int> rows);

private:
    FolderChooser &m_chooser;
    std::function<QString()> m_startFolder;
    ExcludedFilesModel m_model;
    QStringList *m_list = nullptr;
    QTableView *m_tableView = nullptr;
};
