# SPDX-License-Identifier: MIT
"""Exceptions raised by the binding."""


class KolvaneError(Exception):
    """An operation failed; `message` is the library's one-line message, `status` its code."""

    def __init__(self, message, status=-1):
        super().__init__(message)
        self.message = message
        self.status = status


class Cancelled(KolvaneError):
    """A callback asked the operation to stop (a progress callable returned a true value)."""

    def __init__(self, message="Cancelled by caller"):
        super().__init__(message, status=-2)
