# The project's one version: the show's banner, every tool's --version, the package.
set(QUAB_VERSION 1.0b)
