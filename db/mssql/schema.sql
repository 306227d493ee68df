-- The tables eschf-loader reads and writes, for an empty SQL Server database (tests, trials). An
-- accounting department's own database already has them; the program never creates a table.
--     sqlcmd -S server -d database -i db/mssql/schema.sql

-- The organisation directory.
CREATE TABLE tbPredpr (
    idPredpr int IDENTITY(1,1) NOT NULL PRIMARY KEY,
    UNN      varchar(20) NULL,
    DopUNN   int NULL,
    idPlat   int NULL
);
CREATE INDEX tbPredpr_UNN ON tbPredpr (UNN);
GO

-- The organisation whose accounts the database holds: one row.
CREATE TABLE tbNastrPredpr (
    idPredpr int NULL
);
GO

-- Documents of the accounting system.
CREATE TABLE docCaption (
    kodSkl  int NULL,
    NumDoc  int NULL,
    vidDoc  tinyint NULL,
    DateDoc datetime NULL
);
GO

-- Branch redirections.
CREATE TABLE invPredprs (
    unn       varchar(20) NOT NULL,
    dopUnn    int NOT NULL,
    newDopUnn int NULL,
    CONSTRAINT PK_invPredprs PRIMARY KEY (unn, dopUnn)
);
GO

CREATE TABLE invoices (
    idSender         smallint NOT NULL,
    compilingYear    smallint NOT NULL,
    number           bigint NOT NULL,
    invoice          varchar(25) NULL,
    dateCancelled    datetime NULL,
    documentType     tinyint NOT NULL,
    dateTransaction  datetime NULL,
    idProvider       int NOT NULL,
    providerStatus   tinyint NULL,
    specialDealGoods bit NULL,
    principalId      smallint NULL,
    principalYear    smallint NULL,
    principalNumber  bigint NULL,
    principalDate    datetime NULL,
    vendorId         smallint NULL,
    vendorYear       smallint NULL,
    vendorNumber     bigint NULL,
    vendorDate       datetime NULL,
    pDeclaration     varchar(25) NULL,
    dateRelease      datetime NULL,
    dateActualExport datetime NULL,
    pTaxesNumber     varchar(25) NULL,
    pTaxesDate       datetime NULL,
    idRecipient      int NULL,
    recipientStatus  tinyint NULL,
    rDeclaration     varchar(25) NULL,
    rTaxesNumber     varchar(25) NULL,
    rTaxesDate       datetime NULL,
    dateImport       datetime NULL,
    contractNumber   varchar(20) NULL,
    contractDate     datetime NULL,
    description      varchar(512) NULL,
    totalCostVat     decimal(18,3) NOT NULL,
    totalExcise      decimal(18,3) NOT NULL,
    totalVat         decimal(18,3) NOT NULL,
    totalCost        decimal(18,3) NOT NULL,
    completed        bit NULL,
    Sv               bit NOT NULL CONSTRAINT DF_invoices_Sv DEFAULT 0,
    CONSTRAINT PK_invoices PRIMARY KEY (idSender, compilingYear, number)
);
GO

-- Items of an invoice.
CREATE TABLE roster (
    idStr         int IDENTITY(1,1) NOT NULL PRIMARY KEY,
    idSender      smallint NOT NULL,
    compilingYear smallint NOT NULL,
    number        bigint NOT NULL,
    pnt           int NULL,
    itemNumber    bigint NULL,
    [name]        varchar(512) NOT NULL,
    code          varchar(10) NULL,
    code_oced     varchar(5) NULL,
    units         smallint NULL,
    [count]       decimal(18,4) NULL,
    price         decimal(18,3) NULL,
    cost          decimal(18,3) NOT NULL,
    summaExcise   decimal(18,3) NULL,
    rate          decimal(6,4) NULL,
    idRateType    tinyint NULL,
    summaVat      decimal(18,3) NOT NULL,
    costVat       decimal(18,3) NOT NULL,
    CONSTRAINT FK_roster_invoices FOREIGN KEY (idSender, compilingYear, number)
        REFERENCES invoices (idSender, compilingYear, number) ON DELETE CASCADE
);
CREATE INDEX roster_invoice ON roster (idSender, compilingYear, number);
GO

-- Description codes of an item.
CREATE TABLE descriptions (
    idDesc tinyint NOT NULL,
    idStr  int NOT NULL CONSTRAINT FK_descriptions_roster REFERENCES roster (idStr) ON DELETE CASCADE
);
CREATE INDEX descriptions_idStr ON descriptions (idStr);
GO

-- The accompanying document of an invoice.
CREATE TABLE documents (
    idSender      smallint NOT NULL,
    compilingYear smallint NOT NULL,
    number        bigint NOT NULL,
    code          int NOT NULL,
    docDate       datetime NULL,
    blankCode     varchar(50) NULL,
    seria         varchar(25) NULL,
    docNumber     varchar(50) NOT NULL,
    vidDoc        tinyint NOT NULL,
    kodSkl        int NULL,
    idPredpr      int NULL,
    CONSTRAINT FK_documents_invoices FOREIGN KEY (idSender, compilingYear, number)
        REFERENCES invoices (idSender, compilingYear, number) ON DELETE CASCADE
);
CREATE INDEX documents_invoice ON documents (idSender, compilingYear, number);
GO
