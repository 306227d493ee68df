-- The organisation directory the import tests work against.
INSERT INTO tbPredpr(idPredpr, UNN, DopUNN, idPlat) VALUES
    (1, '190000001', NULL, NULL),  -- the own organisation
    (2, '290000002', NULL, NULL),  -- a supplier without branches
    (3, '390000003', 1, NULL),     -- a supplier's head office
    (4, '390000003', 7, 4),        -- and its branch 7
    (10, '590000005', 1, NULL),    -- three candidates for an additional invoice's sender
    (11, '590000005', 2, NULL),
    (12, '590000005', 3, NULL),
    (20, '690000006', NULL, NULL); -- a consignee
INSERT INTO tbNastrPredpr(idPredpr) VALUES (1);
INSERT INTO invPredprs(unn, dopUnn, newDopUnn) VALUES ('390000003', 5, 7);
INSERT INTO docCaption(kodSkl, NumDoc, vidDoc, DateDoc) VALUES
    (555, 12345, 2, '2024-03-04 00:00:00.000'),
    (556, 12345, 1, '2024-03-04 00:00:00.000');
