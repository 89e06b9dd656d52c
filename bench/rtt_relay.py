#!/usr/bin/env python3
"""A TCP relay on loopback that adds a round-trip time to every exchange.

    rtt_relay.py LISTEN_PORT TARGET_PORT RTT_MS

Each connection to 127.0.0.1:LISTEN_PORT is relayed to 127.0.0.1:TARGET_PORT; every piece of data
is held for half the round-trip time in each direction, in order, as a link of that length would
hold it (bandwidth is not limited). Prints "ready" once it listens; runs until it is ended.
"""
import asyncio
import sys


async def pipe(reader, writer, delay):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            pause = due - loop.time()
            if pause > 0:
                await asyncio.sleep(pause)
            if data is None:
                break
            writer.write(data)
            await writer.drain()
        writer.close()

    sender = asyncio.create_task(deliver())
    try:
        while True:
            data = await reader.read(256 * 1024)
            queue.put_nowait((loop.time() + delay, data or None))
            if not data:
                break
    except ConnectionError:
        queue.put_nowait((loop.time(), None))
    try:
        await sender
    except ConnectionError:
        pass


async def main():
    listen_port, target_port, rtt_ms = (int(a) for a in sys.argv[1:4])
    delay = rtt_ms / 2000.0

    async def relay(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, server_writer, delay),
                             pipe(server_reader, client_writer, delay))

    server = await asyncio.start_server(relay, "127.0.0.1", listen_port)
    print("ready", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    asyncio.run(main())
