-- A small facility to try the system with.
USE halvane;
DELETE FROM codes;
DELETE FROM locations;
DELETE FROM users;
INSERT INTO codes (CodeName, Comments) VALUES
  ('Code Red', 'All employees report to their fire watch location.'),
  ('Code Blue', 'Medical emergency team report to the location.'),
  ('Code Grey', 'Security team respond. Staff stay clear of the area.'),
  ('Code Orange', 'Hazardous spill. Keep away until cleared.'),
  ('Drill', '');
INSERT INTO locations (CodeLocation) VALUES
  ('Main Lobby'), ('Cafeteria'), ('East Wing'), ('West Wing'), ('Loading Dock'), ('Parking Garage');
INSERT INTO users (UserName, Password) VALUES ('admin', 'admin');
UPDATE properties SET TraysToolTipText = 'Halvane - facility alerts';
