#!/usr/bin/python3
"""A small SMTP server for tests: listens on 127.0.0.1 only, on a free port it picks itself, and
writes every message it accepts into a folder.

  smtp_sink.py FOLDER [--user NAME --password PASSWORD] [--tls-cert CERT --tls-key KEY]

It writes the port it listens on to FOLDER/port (written whole, then renamed into place). Each
accepted message becomes FOLDER/mailNNNN.eml (the bytes received after DATA) beside
FOLDER/mailNNNN.meta ("from: ...", one "to: ..." per recipient, "login: ..." when authenticated).
Every command verb a client sends (EHLO, STARTTLS, AUTH, MAIL, ...) is appended to
FOLDER/commands, one per line, so that a test can tell what a client sent before it stopped.
With --user, clients must authenticate (PLAIN or LOGIN) before MAIL; without TLS that is allowed
in the clear. With --tls-cert and --tls-key the server offers STARTTLS with that certificate and
then takes authentication only over TLS.
Recipients starting with "refuse" are rejected with 550. Stops on SIGTERM.
"""
import argparse
import asyncio
import os
import signal
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def write_whole(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.rename(tmp, path)


class Sink:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower().startswith("refuse"):
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "mail%04d" % self.count)
        meta = "from: %s\n" % envelope.mail_from
        for rcpt in envelope.rcpt_tos:
            meta += "to: %s\n" % rcpt
        login = getattr(session, "login_data", None)
        if login:
            meta += "login: %s\n" % login.decode("utf-8", "replace")
        # The meta file is written first: a test that sees the .eml sees both.
        write_whole(base + ".meta", meta.encode("utf-8"))
        write_whole(base + ".eml", envelope.original_content or envelope.content)
        return "250 Message accepted"


class LoggingSMTP(SMTP):
    """Notes the verb of every command before it is handled."""

    def __init__(self, *args, commands_file, **kwargs):
        self.commands_file = commands_file
        super().__init__(*args, **kwargs)
        for verb, method in list(self._smtp_methods.items()):
            self._smtp_methods[verb] = self._logged(verb, method)

    def _logged(self, verb, method):
        async def logged(arg):
            with open(self.commands_file, "a") as f:
                f.write(verb + "\n")
            return await method(arg)
        return logged


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--tls-cert", default="")
    parser.add_argument("--tls-key", default="")
    args = parser.parse_args()

    user = os.fsencode(args.user)
    password = os.fsencode(args.password)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and auth_data.login == user and auth_data.password == password
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)

    sink = Sink(args.folder)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    tls = None
    if args.tls_cert:
        tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls.load_cert_chain(args.tls_cert, args.tls_key)
    commands = os.path.join(args.folder, "commands")

    def factory():
        options = dict(hostname="sink.test", loop=loop, commands_file=commands)
        if tls:
            options.update(tls_context=tls)
        if user:
            options.update(authenticator=authenticator, auth_required=True, auth_require_tls=bool(tls))
        return LoggingSMTP(sink, **options)

    server = loop.run_until_complete(loop.create_server(factory, host="127.0.0.1", port=0))
    port = server.sockets[0].getsockname()[1]
    write_whole(os.path.join(args.folder, "port"), str(port).encode())
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    try:
        loop.run_forever()
    finally:
        server.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
