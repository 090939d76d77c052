"""The exceptions that vorlix raises when a workbook cannot be read."""

import errno as _errno
import os as _os
import stat as _stat


class Error(Exception):
    """A workbook could not be read.

    ``message`` is the library's message (also ``str(error)``), ``code`` a number for the
    failure, never 0: the library's code for its own read errors (1 to 16, the list in
    xls/model/Errors.h: 14 a damaged link table, ...), else one of the constants below.
    ``filename`` is the file's name as given (None for bytes without a name).
    """

    NOT_FOUND = 101  # missing, a folder, not a regular file, not readable
    PASSWORD_REQUIRED = 102  # encrypted with a user password, none given
    WRONG_PASSWORD = 103  # the password does not open it
    NOT_A_WORKBOOK = 104  # not an Excel 97-2003 workbook
    UNSUPPORTED_ENCRYPTION = 105  # an encryption the library does not decrypt
    DAMAGED = 106  # a damaged, empty or cut short file, or one that changed while read

    default_code = DAMAGED

    def __init__(self, message, code=None, filename=None):
        super().__init__(message)
        self.message = message
        self.code = code or self.default_code
        self.filename = filename

    def __str__(self):
        return self.message

    def __reduce__(self):
        return type(self), (self.message, self.code, self.filename)


class NotFoundError(Error, FileNotFoundError):
    """The file does not exist or cannot be read as a file (also a FileNotFoundError, with
    ``errno`` and ``strerror`` of the cause: ENOENT, EACCES, EISDIR, ...)."""

    default_code = Error.NOT_FOUND

    def __init__(self, message, code=None, filename=None):
        Error.__init__(self, message, code, filename)
        self.errno = _errno_of(filename)
        self.strerror = _os.strerror(self.errno)


def _errno_of(filename):
    """Why `filename` cannot be opened as a workbook file, as an errno."""
    if filename is None:
        return _errno.ENOENT
    try:
        mode = _os.stat(filename).st_mode
        if _stat.S_ISDIR(mode):
            return _errno.EISDIR
        if not _stat.S_ISREG(mode):
            return _errno.ENODEV
        with open(filename, "rb"):
            pass
    except OSError as error:
        return error.errno or _errno.ENOENT
    return _errno.ENOENT  # there when asked again


class PasswordError(Error):
    """The workbook is encrypted and no password or a wrong one was given."""

    default_code = Error.PASSWORD_REQUIRED


class UnsupportedFormatError(Error):
    """Not an Excel workbook the library reads (another program's file, a compound
    document without a workbook), or encrypted with a scheme the library does not decrypt.

    ``kind`` says what another program's file saved under a workbook's name is: "xlsx"
    (an Excel 2007+ workbook), "ods" (an OpenDocument spreadsheet), "opendocument" (another
    OpenDocument file), "zip", "xml_spreadsheet" (XML Spreadsheet 2003), "html", "csv" or
    "text"; None for the other failures.
    """

    default_code = Error.NOT_A_WORKBOOK
    kind = None


class DamagedFileError(Error):
    """The compound document or the workbook's records are damaged."""
