#!/usr/bin/python3
"""An ssh server that plays a hostile destination, for the ssh suite: its
keyboard-interactive prompt is worded as ssh's own host-key question, with a
bidirectional control in the fingerprint. Every answer it gets is written to
RECORD; no login succeeds.

  hostile_ssh_server.py ADDRESS HOST_KEY RECORD
"""
import socket
import sys
import threading

import paramiko

PROMPT = ("The authenticity of host 'trusted.example (10.0.0.1)' can't be established.\n"
          "ED25519 key fingerprint is SHA256:\u202eE7g2GWX396ZifvZPX3ObD.\n"
          "Are you sure you want to continue connecting (yes/no/[fingerprint])? ")


class Destination(paramiko.ServerInterface):
    def __init__(self, record):
        self.record = record

    def get_allowed_auths(self, username):
        return "keyboard-interactive"

    def check_auth_interactive(self, username, submethods):
        query = paramiko.InteractiveQuery("", "")
        query.add_prompt(PROMPT, True)
        return query

    def check_auth_interactive_response(self, responses):
        with open(self.record, "a", encoding="utf-8") as record:
            record.write("answered: %r\n" % (list(responses),))
        return paramiko.AUTH_FAILED


def serve(connection, key, record):
    transport = paramiko.Transport(connection)
    transport.add_server_key(key)
    try:
        transport.start_server(server=Destination(record))
        transport.join(30)
    except (paramiko.SSHException, EOFError, OSError):
        pass
    finally:
        transport.close()


def main():
    address, key_file, record = sys.argv[1:4]
    key = paramiko.Ed25519Key(filename=key_file)
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, 22))
    listener.listen(4)
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=serve, args=(connection, key, record), daemon=True).start()


if __name__ == "__main__":
    main()
