/* The texts and places the file-manager integration shows and uses, shared by
 * the C++ logic and the plain-C file-manager extension so both stay the same.
 * Plain C: no Qt and no C++ here. */
#ifndef VELLUMOR_FINDER_SYNC_TEXTS_H
#define VELLUMOR_FINDER_SYNC_TEXTS_H

#define VELLUMOR_FINDER_ITEM_NAME "Vellumor"
#define VELLUMOR_FINDER_ITEM_TOOL_TIP "Vellumor Copy & Paste: Click the toolbar item for a menu."
#define VELLUMOR_FINDER_COPY_TITLE "Copy"
#define VELLUMOR_FINDER_PASTE_TITLE "Paste"
/* The main application's icon: the theme icon its desktop entry names. */
#define VELLUMOR_FINDER_ICON_NAME "org.vellumor.Vellumor"
/* The bundle executable that carries out each action, below the prefix. */
#define VELLUMOR_FINDER_TOOL_SUBPATH "libexec/vellumor/vellumor-finder"

#endif
