"""The exceptions that vorlix raises when a workbook cannot be read."""


class Error(Exception):
    """A workbook could not be read.

    ``message`` is the library's message (also ``str(error)``), ``code`` the library's
    error code for its own read errors (see the list in xls/model/Errors.h), 0 otherwise.
    """

    def __init__(self, message, code=0):
        super().__init__(message)
        self.message = message
        self.code = code


class NotFoundError(Error, FileNotFoundError):
    """The file does not exist (also a FileNotFoundError)."""

    def __init__(self, message, code=0):
        Error.__init__(self, message, code)


class PasswordError(Error):
    """The workbook is encrypted and no password or a wrong one was given."""


class UnsupportedFormatError(Error):
    """Not an Excel 97-2003 workbook (older BIFF versions, other files), or encrypted with
    a scheme the library does not decrypt."""


class DamagedFileError(Error):
    """The compound document or the workbook's records are damaged."""
