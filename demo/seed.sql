-- The demo directory, on a database made from db/sqlite/schema.sql.
-- Taxpayer numbers are made up; they only have the nine digits of real ones.

-- The organisation directory.
INSERT INTO tbPredpr (idPredpr, UNN, DopUNN, idPlat) VALUES
    (1, '190555001', NULL, NULL), -- our own organisation
    (2, '190555002', NULL, NULL), -- a supplier without branches
    (3, '190555003', 1, NULL),    -- a supplier with branches: head office 1
    (4, '190555003', 2, NULL),    --   and branch 2
    (5, '190555003', 7, 3),       --   branch 7 pays through head office: not a party of its own
    (6, '190555004', NULL, 6),    -- a customer that is its own payer
    (7, '100200300', NULL, NULL); -- the organisation that may not start the download script

-- Whose accounts this database holds.
INSERT INTO tbNastrPredpr (idPredpr) VALUES (1);

-- Invoices of 190555003 from its branch 7 are booked on its head office.
INSERT INTO invPredprs (unn, dopUnn, newDopUnn) VALUES ('190555003', 7, 1);

-- A document of the accounting system that an invoice's accompanying document can be matched with.
INSERT INTO docCaption (kodSkl, NumDoc, vidDoc, DateDoc) VALUES (12, 123, 1, '2022-06-20 00:00:00.000');

-- An invoice stored completely, and one whose import was interrupted: start-up removes the second.
INSERT INTO invoices (idSender, compilingYear, number, invoice, documentType, dateTransaction, idProvider,
                      providerStatus, specialDealGoods, idRecipient, recipientStatus,
                      totalCostVat, totalExcise, totalVat, totalCost, completed)
VALUES (2, 2022, 1, '190555002-2022-0000000001', 1, '2022-06-20 00:00:00.000', 2, 1, 0, 1, 1,
        '120.000', '0.000', '20.000', '100.000', 1),
       (2, 2022, 2, '190555002-2022-0000000002', 1, '2022-06-21 00:00:00.000', 2, 1, 0, 1, 1,
        '240.000', '0.000', '40.000', '200.000', NULL);
