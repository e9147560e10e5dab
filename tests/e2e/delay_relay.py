#!/usr/bin/env python3
"""A slow link for the end-to-end tests: relays every TCP connection made to
LISTEN on to TARGET, and holds each chunk for half of ROUND_TRIP_MS in each
direction, in order, give or take up to JITTER_MS/2 at random. An end of
sending is passed on just as late.

    delay_relay.py ROUND_TRIP_MS[:JITTER_MS] LISTEN_ADDRESS:PORT TARGET_ADDRESS:PORT
"""

import asyncio
import random
import sys


async def carry(reader, writer, delay, jitter):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()
    last_due = 0.0

    async def deliver():
        while True:
            due, data = await queue.get()
            await asyncio.sleep(max(0.0, due - loop.time()))
            if not data:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()

    delivery = asyncio.create_task(deliver())
    try:
        while True:
            data = await reader.read(65536)
            # A stream keeps its order: no chunk overtakes the one before.
            last_due = max(last_due, loop.time() + delay + random.uniform(-jitter, jitter))
            queue.put_nowait((last_due, data))
            if not data:
                break
        await delivery
    except (ConnectionError, OSError):
        delivery.cancel()


async def relay(listen, target, delay, jitter, client_reader, client_writer):
    host, port = target
    try:
        # From the relay's own address, so that a rule redirecting traffic
        # to the relay can leave the relay's own connections alone.
        server_reader, server_writer = await asyncio.open_connection(host, port,
                                                                     local_addr=(listen[0], 0))
    except OSError:
        client_writer.close()
        return
    await asyncio.gather(carry(client_reader, server_writer, delay, jitter),
                         carry(server_reader, client_writer, delay, jitter))
    for writer in (client_writer, server_writer):
        writer.close()


def endpoint(text):
    host, port = text.rsplit(":", 1)
    return host, int(port)


async def main():
    round_trip, _, jitter = sys.argv[1].partition(":")
    delay, jitter = float(round_trip) / 2000.0, float(jitter or 0) / 2000.0
    listen, target = endpoint(sys.argv[2]), endpoint(sys.argv[3])
    server = await asyncio.start_server(lambda r, w: relay(listen, target, delay, jitter, r, w), *listen)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
