// Placeholder until the data module lands: enough for the other targets to link.
#include "data/tdm.h"

namespace eschf {

Statement::Statement(TDM& owner, QString name, std::vector<ParamDecl> params, QStringList msSqlLines,
                     QStringList sqliteLines)
    : m_owner(owner), m_name(std::move(name)), m_params(std::move(params)),
      m_msSqlLines(std::move(msSqlLines)), m_sqliteLines(std::move(sqliteLines))
{
}

TDM::TDM(QString connectionName)
    : InvoicesInsert(*this, QStringLiteral("InvoicesInsert"), {}, {}, {}),
      RosterInsert(*this, QStringLiteral("RosterInsert"), {}, {}, {}),
      DescriptionsInsert(*this, QStringLiteral("DescriptionsInsert"), {}, {}, {}),
      DocumentsInsert(*this, QStringLiteral("DocumentsInsert"), {}, {}, {}),
      DocCheck(*this, QStringLiteral("DocCheck"), {}, {}, {}),
      FindSkl(*this, QStringLiteral("FindSkl"), {}, {}, {}),
      SelectVariousPredprs(*this, QStringLiteral("SelectVariousPredprs"), {}, {}, {}),
      SelPredprByUnn(*this, QStringLiteral("SelPredprByUnn"), {}, {}, {}),
      qSelectInvPredpr(*this, QStringLiteral("qSelectInvPredpr"), {}, {}, {}),
      FindOriginal(*this, QStringLiteral("FindOriginal"), {}, {}, {}),
      UpdateAsComplete(*this, QStringLiteral("UpdateAsComplete"), {}, {}, {}),
      DeleteInvoice(*this, QStringLiteral("DeleteInvoice"), {}, {}, {}),
      Check(*this, QStringLiteral("Check"), {}, {}, {}), SelNastr(*this, QStringLiteral("SelNastr"), {}, {}, {}),
      DelZero(*this, QStringLiteral("DelZero"), {}, {}, {}),
      qSelectInvPredprs(*this, QStringLiteral("qSelectInvPredprs"), {}, {}, {}),
      m_connectionName(std::move(connectionName))
{
}

TDM::~TDM() = default;

} // namespace eschf
