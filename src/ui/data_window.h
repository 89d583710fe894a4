#pragma once
// The data window: the readings of one memory image as a list under six column captions,
// and the commands on that image (save, spreadsheet, the two PDF reports, print, graph).

#include <QAbstractListModel>
#include <QWidget>
#include <string>
#include <vector>

#include "logger/memory_image.h"
#include "ui/program_window.h"

class QComboBox;
class QListView;

// The list's lines, kept as the core made them; Qt strings are made only for painted rows.
class ReadingLinesModel final : public QAbstractListModel {
  public:
    using QAbstractListModel::QAbstractListModel;
    void Append(std::vector<std::string> lines);
    const std::vector<std::string>& Lines() const { return lines_; }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    std::vector<std::string> lines_;
};

// Each tab-separated field starts under its column caption, whatever the font.
inline constexpr int READING_COLUMN_X[] = {0, 45, 93, 141, 189, 237};

class DataWindow final : public QWidget, public ProgramWindow {
  public:
    // Keeps its own copy of data_in: its buttons act on the readings it shows.
    explicit DataWindow(QtWindowLayer& layer);

    QWidget* Window() override { return this; }
    WindowId Id() const override { return WindowId::Data; }
    void AddListLines(int list_id, std::vector<std::string> lines) override;
    const ReadingLinesModel& Lines() const { return *lines_; }
    QListView* List() const { return list_; }
    void Command(int id);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QtWindowLayer& layer_;
    MemoryImage image_;
    ReadingLinesModel* lines_ = nullptr;
    QListView* list_ = nullptr;
    QComboBox* profiles_ = nullptr;
};
