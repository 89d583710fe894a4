#include "ui/data_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>

#include "app/export_command.h"
#include "app/main_commands.h"
#include "app/report_commands.h"
#include "app/save_data_command.h"
#include "logger/config_values.h"
#include "ui/print_dialog.h"
#include "ui/qt_window_layer.h"
#include "ui/verdict_line.h"

namespace {

constexpr int CLIENT_WIDTH = 734;
constexpr int CLIENT_HEIGHT = 484;
constexpr int FIELD_PADDING = 2;

class ReadingLineDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem background = option;
        initStyleOption(&background, index);
        background.text.clear();
        // A current row without a selection is not a chosen row: no band, no frame.
        background.state &= ~QStyle::State_HasFocus;
        const QWidget* widget = option.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

        const QString line = index.data(Qt::DisplayRole).toString();
        painter->save();
        painter->setPen(option.palette.color(
            option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        int column = 0;
        qsizetype start = 0;
        while (column < static_cast<int>(std::size(READING_COLUMN_X)) && start < line.size()) {
            qsizetype end = line.indexOf(QLatin1Char('\t'), start);
            if (end < 0) {
                end = line.size();
            }
            const int x = option.rect.left() + READING_COLUMN_X[column] + FIELD_PADDING;
            const int next = column + 1 < static_cast<int>(std::size(READING_COLUMN_X))
                                 ? option.rect.left() + READING_COLUMN_X[column + 1]
                                 : option.rect.right();
            painter->drawText(QRect(x, option.rect.top(), next - x, option.rect.height()),
                              Qt::AlignLeft | Qt::AlignVCenter, line.mid(start, end - start));
            start = end + 1;
            ++column;
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(READING_COLUMN_X[5] + 48, option.fontMetrics.height() + 2);
    }
};

}  // namespace

void ReadingLinesModel::Append(std::vector<std::string> lines) {
    if (lines.empty()) {
        return;
    }
    const int first = static_cast<int>(lines_.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(lines.size()) - 1);
    if (lines_.empty()) {
        lines_ = std::move(lines);
    } else {
        lines_.insert(lines_.end(), std::make_move_iterator(lines.begin()),
                      std::make_move_iterator(lines.end()));
    }
    endInsertRows();
}

int ReadingLinesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant ReadingLinesModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    return QString::fromStdString(lines_[static_cast<std::size_t>(index.row())]);
}

DataWindow::DataWindow(QtWindowLayer& layer) : layer_(layer), image_(data_in) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Dados"));
    MakeFixedWindow(this, CLIENT_WIDTH, CLIENT_HEIGHT, {740, 430, -45});

    struct Caption {
        const char* text;
        int id;
        int x;
        int width;
    };
    // "T\n(ºC)" keeps its masculine ordinal sign, the limits the degree sign.
    for (const Caption& caption :
         {Caption{"Num", BT_LOG, 0, 45}, Caption{"Hora*", BT_HOUR, 45, 48},
          Caption{"Data ", BT_DATE, 93, 48}, Caption{"T\n(ºC)", BT_TIN, 141, 48},
          Caption{"Tinf\n(°C)", BT_T1, 189, 48}, Caption{"Tsup\n(°C)", BT_H1, 237, 48}}) {
        auto* header = Place(new QPushButton(QString::fromUtf8(caption.text), this), caption.id,
                             caption.x, 10, caption.width, 50);
        header->setFlat(true);
        header->setFocusPolicy(Qt::NoFocus);
    }

    lines_ = new ReadingLinesModel(this);
    // The buttons start at y 427: the list ends above the verdict line just over them.
    list_ = Place(new QListView(this), LIST1, 0, 60, 714, 341);
    list_->setModel(lines_);
    list_->setItemDelegate(new ReadingLineDelegate(list_));
    list_->setUniformItemSizes(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setFrameShape(QFrame::NoFrame);

    struct Action {
        const char* text;
        int id;
        int x;
    };
    for (const Action& action :
         {Action{"Salvar", BT_DATA_SAVE, 15}, Action{"Excel", BT_DATA_EXPORT, 125},
          Action{"Tabela (PDF)", BT_DATA_PDF, 225}, Action{"Gráfico (PDF)", BT_DATA_PDF_GRAPH, 325},
          Action{"Imprimir", BT_DATA_PRINT, 425}, Action{"Gráfico", BT_DATA_GRAPH, 525},
          Action{"Fechar", BT_DATA_QUIT, 625}}) {
        auto* button = Place(new QPushButton(QString::fromUtf8(action.text), this), action.id,
                             action.x, 427, 90, 25);
        connect(button, &QPushButton::clicked, this, [this, id = action.id] { Command(id); });
    }
    // The row of buttons is full: the summary of the verdict sits on the verdict's line,
    // beside the profile it is judged by.
    auto* verdict = Place(new QLabel(this), TXT_VERDICT, 15, 403, 400, 22);
    auto* summary = Place(new QPushButton(QStringLiteral("Resumo (PDF)"), this),
                          BT_DATA_PDF_SUMMARY, 420, 402, 90, 24);
    connect(summary, &QPushButton::clicked, this, [this] { Command(BT_DATA_PDF_SUMMARY); });
    Place(new QLabel(QStringLiteral("Perfil:"), this), 0, 515, 403, 45, 22);
    profiles_ = Place(new QComboBox(this), CB_PROFILE, 560, 402, 155, 24);
    new VerdictLine(image_, verdict, profiles_, this);
    Place(new QCheckBox(QString::fromUtf8("Ao gerar relatórios, converter para horário GMT-0."),
                        this),
          CB_CONVERTER_HORARIO_LOCAL, 15, 461, 500, 20);
    Place(new QLabel(QString::fromStdString(SerialLabelText(config_values.serial)), this),
          TXT_SERIAL, 300, 10, 200, 20);
    Place(new QLabel(
              QString::fromUtf8("*Horário de Brasília (GMT-3). Desconsidera horário de verão."),
              this),
          0, 300, 30, 400, 20);
}

void DataWindow::AddListLines(int list_id, std::vector<std::string> lines) {
    if (list_id == LIST1) {
        lines_->Append(std::move(lines));
    }
}

void DataWindow::Command(int id) {
    layer_.MakeCurrent(this);
    switch (id) {
        case BT_DATA_SAVE:
            SaveDataFromDataWindow(image_);
            break;
        case BT_DATA_EXPORT:
            ExcelData(WindowId::Data, image_);
            break;
        case BT_DATA_PDF:
            PdfData(WindowId::Data, image_);
            break;
        case BT_DATA_PDF_GRAPH:
            PdfData_g(WindowId::Data, image_);
            break;
        case BT_DATA_PDF_SUMMARY:
            PdfSummary(WindowId::Data, image_, profiles_->currentText().toStdString());
            break;
        case BT_DATA_GRAPH:
            layer_.OpenGraphWindow(image_);
            break;
        case BT_DATA_PRINT:
            PrintFromDataWindow(this, image_);
            break;
        case BT_DATA_QUIT:
            close();
            break;
        default:
            break;
    }
}

void DataWindow::closeEvent(QCloseEvent* event) {
    layer_.Forget(this);
    RestoreMainWindowControls();
    event->accept();
}
