#pragma once

#include <QDialog>

namespace eschf {
class TDM;
class InvPredprsGrid;
class InvPredprsModel;
} // namespace eschf

// The branch redirection window: one editable grid over the rows of invPredprs, read afresh each
// time the window is created. It works on the window thread's connection (dm); an import run has
// a connection of its own and sees each row from the moment it is posted.
class TfrmInvPredprs : public QDialog
{
    Q_OBJECT
public:
    // Reads the rows; a failure is shown in an error box and the window opens with an empty grid.
    explicit TfrmInvPredprs(eschf::TDM& dm, QWidget* owner = nullptr);

    // The menu command: a fresh window owned by owner, shown modally, destroyed once closed.
    static void showModal(eschf::TDM& dm, QWidget* owner);
    // The same, opened on the redirection of unn's branch dopUnn (see openOnRedirection).
    static void showModalFor(eschf::TDM& dm, QWidget* owner, const QString& unn, const QString& dopUnn);

    // Puts the cursor on the new branch code of that redirection: its row when the table has one,
    // else a new row in editing with unn and dopUnn filled in, written when the operator leaves it.
    void openOnRedirection(const QString& unn, const QString& dopUnn);

    eschf::InvPredprsModel* model() const { return m_model; }

    eschf::InvPredprsGrid* InvPredprsDBGridEh = nullptr;

public slots:
    // Closing by the title bar: the row in editing is posted first; a refused one keeps the window
    // open unless the operator lets it go.
    void reject() override;

private:
    void FormCreate();
    void placeAtScreenCentre();

    eschf::InvPredprsModel* m_model = nullptr;
};
