#include "ui/about_box.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>

#include "ui/qt_window_layer.h"

namespace {

constexpr int CLIENT_WIDTH = 294;
constexpr int CLIENT_HEIGHT = 196;
constexpr int LOGO_WIDTH = 275;
constexpr int LOGO_HEIGHT = 70;
constexpr int BT_ABOUT_OK = 305;

}  // namespace

AboutBox::AboutBox(QtWindowLayer& layer) : layer_(layer) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Sobre RazuRozavi"));
    MakeFixedWindow(this, CLIENT_WIDTH, CLIENT_HEIGHT, {300, 180, -45});

    auto* ok = Place(new QPushButton(QStringLiteral("OK"), this), BT_ABOUT_OK, 200, 165, 80, 25);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);
    auto* frame = Place(new QLabel(this), 0, 10, 10, LOGO_WIDTH, LOGO_HEIGHT);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    QSvgRenderer renderer(QStringLiteral(":/logo.svg"));
    if (!renderer.isValid()) {
        ShowMessage(WindowId::Main, "Load of resources failed.", "Error", MsgIcon::Stop);
        return;
    }
    const int inner = frame->frameWidth();
    logo_ = QPixmap(LOGO_WIDTH - 2 * inner, LOGO_HEIGHT - 2 * inner);
    logo_.fill(Qt::transparent);
    QPainter painter(&logo_);
    renderer.render(&painter, QRectF(0, 0, logo_.width(), logo_.height()));
    frame->setPixmap(logo_);
}

void AboutBox::paintEvent(QPaintEvent*) {
    if (!LogoLoaded()) {
        return;
    }
    QPainter painter(this);
    QFont font;
    font.setFamilies({QStringLiteral("Georgia"), QStringLiteral("Liberation Serif")});
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(15);
    font.setWeight(QFont::Medium);
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(50, 100, CLIENT_WIDTH - 50, 24), Qt::AlignLeft | Qt::AlignTop,
                     QString::fromUtf8("Versão v1.05"));
}

void AboutBox::closeEvent(QCloseEvent* event) {
    layer_.Forget(this);
    event->accept();
}
