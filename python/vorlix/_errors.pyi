# Types of the exceptions vorlix raises.
from typing import Any, Optional, Union

class Error(Exception):
    NOT_FOUND: int
    PASSWORD_REQUIRED: int
    WRONG_PASSWORD: int
    NOT_A_WORKBOOK: int
    UNSUPPORTED_ENCRYPTION: int
    DAMAGED: int
    default_code: int
    message: str
    code: int
    filename: Union[str, bytes, None]
    def __init__(
        self, message: str, code: Optional[int] = ..., filename: Union[str, bytes, None] = ...
    ) -> None: ...
    def __reduce__(self) -> tuple[Any, ...]: ...

class NotFoundError(Error, FileNotFoundError):
    errno: int
    strerror: str

class PasswordError(Error): ...
class UnsupportedFormatError(Error): ...
class DamagedFileError(Error): ...
