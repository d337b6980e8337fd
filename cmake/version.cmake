# The suite's version and the installer package's identity: the one place they
# are set. The top CMakeLists.txt takes the version for the project, so every
# version resource (cmake/version.rc.in), the setup manifest's MAINVERSION and
# the package's ProductVersion carry the same number.
#
# A new release raises TESSAL_VERSION; the package's product code follows from it
# (package/CMakeLists.txt), so the new package replaces the old one as a major
# upgrade. The upgrade codes never change: they tie every release of a package
# together. The x86 and x64 packages are separate products.
set(TESSAL_VERSION 1.0.1.0)
set(TESSAL_UPGRADE_CODE_X86 EB2C7A1A-E570-44F4-9B5D-24A6A17FFE27)
set(TESSAL_UPGRADE_CODE_X64 1A1BD118-576B-471E-A323-DC0E7E49B240)
