#pragma once

#include "import/invoiceview.h"

#include <QDialog>

class QLabel;
class QTableWidget;

namespace eschf {
class TDM;
}

// What an invoice file holds, which of its parties the directory knows and where its failure
// lies: a read-only window over an InvoiceView, the element the file's reason names selected.
class TfrmInvoiceView : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmInvoiceView(eschf::InvoiceView view, QWidget* owner = nullptr);

    // The popup command: reads the file on the window thread's connection (dm) and opens a window
    // of its own that lives until it is closed; the main window stays usable, a run goes on.
    static TfrmInvoiceView* showFor(eschf::TDM& dm, const QString& ownUnn, const QString& filePath,
                                    const std::optional<eschf::FileResult>& result, QWidget* owner);

    const eschf::InvoiceView& view() const { return m_view; }
    QTableWidget* grid(eschf::ViewSection section) const;

    QLabel* OutcomeLbl = nullptr;
    QLabel* ReasonLbl = nullptr;
    QTableWidget* HeadGrid = nullptr;
    QTableWidget* PartiesGrid = nullptr;
    QTableWidget* ItemsGrid = nullptr;
    QTableWidget* TotalsGrid = nullptr;
    QTableWidget* DocumentGrid = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    QTableWidget* createGrid(const eschf::ViewTable& table, const char* name, bool fitRows);
    void selectFailure();
    void placeOnScreen();

    eschf::InvoiceView m_view;
};
