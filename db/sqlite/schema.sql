-- The embedded database of eschf-loader, for trying the program out and for the tests. The
-- program never creates a table: make a database with
--     sqlite3 eschf.db < db/sqlite/schema.sql
--
-- It holds what SQL Server would hold and refuses what SQL Server would refuse:
--   * texts are checked against the width of the varchar that writes them;
--   * tinyint columns take 0 to 255;
--   * decimals are TEXT in canonical form with their declared scale ('1234.560'): a REAL cannot
--     hold 18 digits and a NUMERIC column turns 12345678901234567.89 into an integer;
--   * datetimes are TEXT 'YYYY-MM-DD HH:MM:SS.SSS' (rows of docCaption written by hand must use
--     the same form, or FindSkl cannot match them); bits are 0 and 1.
-- Foreign keys need PRAGMA foreign_keys=ON, which the program sets on every connection.

PRAGMA journal_mode = WAL;

-- The organisation directory.
CREATE TABLE tbPredpr (
    idPredpr INTEGER PRIMARY KEY AUTOINCREMENT,
    UNN      TEXT CHECK (length(UNN) <= 20),
    DopUNN   INTEGER,
    idPlat   INTEGER
);
CREATE INDEX tbPredpr_UNN ON tbPredpr (UNN);

-- The organisation whose accounts the database holds: one row.
CREATE TABLE tbNastrPredpr (
    idPredpr INTEGER
);

-- Documents of the accounting system.
CREATE TABLE docCaption (
    kodSkl  INTEGER,
    NumDoc  INTEGER,
    vidDoc  INTEGER CHECK (vidDoc BETWEEN 0 AND 255),
    DateDoc TEXT
);

-- Branch redirections.
CREATE TABLE invPredprs (
    unn       TEXT NOT NULL CHECK (length(unn) <= 20),
    dopUnn    INTEGER NOT NULL,
    newDopUnn INTEGER,
    PRIMARY KEY (unn, dopUnn)
);

CREATE TABLE invoices (
    idSender         INTEGER NOT NULL,
    compilingYear    INTEGER NOT NULL,
    number           INTEGER NOT NULL,
    invoice          TEXT CHECK (length(invoice) <= 25),
    dateCancelled    TEXT,
    documentType     INTEGER NOT NULL CHECK (documentType BETWEEN 0 AND 255),
    dateTransaction  TEXT,
    idProvider       INTEGER NOT NULL,
    providerStatus   INTEGER CHECK (providerStatus BETWEEN 0 AND 255),
    specialDealGoods INTEGER,
    principalId      INTEGER,
    principalYear    INTEGER,
    principalNumber  INTEGER,
    principalDate    TEXT,
    vendorId         INTEGER,
    vendorYear       INTEGER,
    vendorNumber     INTEGER,
    vendorDate       TEXT,
    pDeclaration     TEXT CHECK (length(pDeclaration) <= 25),
    dateRelease      TEXT,
    dateActualExport TEXT,
    pTaxesNumber     TEXT CHECK (length(pTaxesNumber) <= 25),
    pTaxesDate       TEXT,
    idRecipient      INTEGER,
    recipientStatus  INTEGER CHECK (recipientStatus BETWEEN 0 AND 255),
    rDeclaration     TEXT CHECK (length(rDeclaration) <= 25),
    rTaxesNumber     TEXT CHECK (length(rTaxesNumber) <= 25),
    rTaxesDate       TEXT,
    dateImport       TEXT,
    contractNumber   TEXT CHECK (length(contractNumber) <= 20),
    contractDate     TEXT,
    description      TEXT CHECK (length(description) <= 512),
    totalCostVat     TEXT NOT NULL,
    totalExcise      TEXT NOT NULL,
    totalVat         TEXT NOT NULL,
    totalCost        TEXT NOT NULL,
    completed        INTEGER,
    Sv               INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY (idSender, compilingYear, number)
);

-- Items of an invoice.
CREATE TABLE roster (
    idStr         INTEGER PRIMARY KEY AUTOINCREMENT,
    idSender      INTEGER NOT NULL,
    compilingYear INTEGER NOT NULL,
    number        INTEGER NOT NULL,
    pnt           INTEGER,
    itemNumber    INTEGER,
    name          TEXT NOT NULL CHECK (length(name) <= 512),
    code          TEXT CHECK (length(code) <= 10),
    code_oced     TEXT CHECK (length(code_oced) <= 5),
    units         INTEGER,
    count         TEXT,
    price         TEXT,
    cost          TEXT NOT NULL,
    summaExcise   TEXT,
    rate          TEXT,
    idRateType    INTEGER CHECK (idRateType BETWEEN 0 AND 255),
    summaVat      TEXT NOT NULL,
    costVat       TEXT NOT NULL,
    FOREIGN KEY (idSender, compilingYear, number)
        REFERENCES invoices (idSender, compilingYear, number) ON DELETE CASCADE
);
CREATE INDEX roster_invoice ON roster (idSender, compilingYear, number);

-- Description codes of an item.
CREATE TABLE descriptions (
    idDesc INTEGER NOT NULL CHECK (idDesc BETWEEN 0 AND 255),
    idStr  INTEGER NOT NULL REFERENCES roster (idStr) ON DELETE CASCADE
);
CREATE INDEX descriptions_idStr ON descriptions (idStr);

-- The accompanying document of an invoice.
CREATE TABLE documents (
    idSender      INTEGER NOT NULL,
    compilingYear INTEGER NOT NULL,
    number        INTEGER NOT NULL,
    code          INTEGER NOT NULL,
    docDate       TEXT,
    blankCode     TEXT CHECK (length(blankCode) <= 50),
    seria         TEXT CHECK (length(seria) <= 25),
    docNumber     TEXT NOT NULL CHECK (length(docNumber) <= 50),
    vidDoc        INTEGER NOT NULL CHECK (vidDoc BETWEEN 0 AND 255),
    kodSkl        INTEGER,
    idPredpr      INTEGER,
    FOREIGN KEY (idSender, compilingYear, number)
        REFERENCES invoices (idSender, compilingYear, number) ON DELETE CASCADE
);
CREATE INDEX documents_invoice ON documents (idSender, compilingYear, number);
