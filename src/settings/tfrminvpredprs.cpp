#include "settings/tfrminvpredprs.h"

#include "data/error.h"
#include "settings/invpredprsgrid.h"
#include "settings/invpredprsmessages.h"
#include "settings/invpredprsmodel.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

TfrmInvPredprs::TfrmInvPredprs(eschf::TDM& dm, QWidget* owner)
    : QDialog(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      m_model(new eschf::InvPredprsModel(dm, this))
{
    setWindowTitle(QStringLiteral("Настройка перенаправления филиалов"));
    setSizeGripEnabled(false);

    InvPredprsDBGridEh = new eschf::InvPredprsGrid(m_model, this);
    InvPredprsDBGridEh->setObjectName(QStringLiteral("InvPredprsDBGridEh"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(InvPredprsDBGridEh);

    // Wide enough for the designed column widths beside the indicator and a scroll bar.
    const QHeaderView* columns = InvPredprsDBGridEh->horizontalHeader();
    const int designedWidth = 2 * columns->defaultSectionSize() + 156;
    const int chrome = InvPredprsDBGridEh->verticalHeader()->sizeHint().width() +
                       2 * InvPredprsDBGridEh->frameWidth() +
                       style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, InvPredprsDBGridEh);
    // The caption should not be cut off by the title bar's buttons either.
    QFont caption = font();
    caption.setBold(true);
    const int captionWidth = QFontMetrics(caption).horizontalAdvance(windowTitle()) + 120;
    resize(std::max(designedWidth + chrome, captionWidth), 360);
    setMinimumSize(200, 120);
    placeAtScreenCentre();

    FormCreate();
}

void TfrmInvPredprs::showModal(eschf::TDM& dm, QWidget* owner)
{
    auto* form = new TfrmInvPredprs(dm, owner);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->exec();
}

void TfrmInvPredprs::showModalFor(eschf::TDM& dm, QWidget* owner, const QString& unn, const QString& dopUnn)
{
    auto* form = new TfrmInvPredprs(dm, owner);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->openOnRedirection(unn, dopUnn);
    form->exec();
}

void TfrmInvPredprs::openOnRedirection(const QString& unn, const QString& dopUnn)
{
    using eschf::InvPredprsModel;
    if (m_model->isReadOnly())
        return;
    bool isNumber = false;
    const int code = dopUnn.toInt(&isNumber);
    int row = isNumber ? m_model->rowOf(unn, code) : -1;
    if (row < 0) {
        InvPredprsDBGridEh->appendRow();
        row = m_model->editRow();
        if (row < 0 || !m_model->isInserting())
            return;
        m_model->setData(m_model->index(row, InvPredprsModel::Unn), unn);
        m_model->setData(m_model->index(row, InvPredprsModel::DopUnn), dopUnn);
    }
    const QModelIndex newCode = m_model->index(row, InvPredprsModel::NewDopUnn);
    InvPredprsDBGridEh->setCurrentIndex(newCode);
    InvPredprsDBGridEh->scrollTo(newCode);
    InvPredprsDBGridEh->setFocus();
}

void TfrmInvPredprs::FormCreate()
{
    try {
        m_model->reload();
    } catch (const eschf::Error& error) {
        eschf::invpredprs::ask(this, eschf::invpredprs::Ask::Error, error.message());
        return;
    }
    if (m_model->rowCount() > 0)
        InvPredprsDBGridEh->setCurrentIndex(m_model->index(0, 0));
}

void TfrmInvPredprs::placeAtScreenCentre()
{
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = geometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void TfrmInvPredprs::reject()
{
    if (!InvPredprsDBGridEh->postBeforeClose())
        return;
    QDialog::reject();
}
