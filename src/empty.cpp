// Keeps every library non-empty while a folder has no sources yet.
