#pragma once

#include <QString>

// Files of an install's Dados/ are used by every operator of its group, whoever made them.
// That folder is set-group-id, so what is made in it takes its group; these give what we make
// there read and write for that group too (and search, for a folder).

// A file or folder just made: shared with its folder's group when that folder is
// set-group-id, left as made elsewhere. Throws Exception naming the file when it cannot be.
void shareWithFolderGroup(const QString &path);

// A file already there, wherever it is: given its folder's group, with read and write for
// that group. Needs the file's owner or root. Throws Exception naming the file.
void giveToFolderGroup(const QString &path);
