-- 50_documents.sql - stored documents of the demo, served as they are at
-- /demo/owai/<name> and gzip-compressed at /demo/owaigz/<name>.gz. A name
-- that is no procedure (/demo/owa/welcome.txt) falls back to them too.
SET ROLE demo;

INSERT INTO demo.image (name, mime_type, img_size, image)
VALUES ('welcome.txt', 'text/plain', NULL, convert_to(
'Welcome to the kestrel demo.

This text is stored in the table demo.image and read from it piece by piece.
Ask for /demo/owaigz/welcome.txt.gz to receive it gzip-compressed.
', 'UTF8')),
       ('dots.svg', 'image/svg+xml', NULL, convert_to(
'<svg xmlns="http://www.w3.org/2000/svg" width="120" height="40">
<circle cx="20" cy="20" r="15" fill="#c33"/>
<circle cx="60" cy="20" r="15" fill="#3a3"/>
<circle cx="100" cy="20" r="15" fill="#36c"/>
</svg>
', 'UTF8'))
ON CONFLICT (name) DO UPDATE
    SET mime_type = EXCLUDED.mime_type, img_size = EXCLUDED.img_size, image = EXCLUDED.image;
UPDATE demo.image SET img_size = octet_length(image) WHERE name IN ('welcome.txt', 'dots.svg');

RESET ROLE;
