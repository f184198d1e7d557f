# Installation of the programs and the manual, and the packages built from them.
include(GNUInstallDirs)
